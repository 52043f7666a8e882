#ifndef KITBINDER_CLI_JOBS_OPTION_H_
#define KITBINDER_CLI_JOBS_OPTION_H_

#include <cstddef>
#include <optional>
#include <string_view>

// "--jobs N" of build and cab: how many threads compress the cabinet's data blocks (1: the
// program's own thread alone). Without it, one per hardware thread.
namespace kb::cli {

inline constexpr std::string_view kJobsOption = "--jobs";
inline constexpr std::size_t kMaxJobs = 256;
inline constexpr std::string_view kJobsRangeMessage = "--jobs needs a number from 1 to 256";

// N as a thread count from 1 to kMaxJobs, or nullopt.
std::optional<std::size_t> ParseJobs(std::string_view text);

}  // namespace kb::cli

#endif  // KITBINDER_CLI_JOBS_OPTION_H_

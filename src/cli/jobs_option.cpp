#include "cli/jobs_option.h"

#include <charconv>

namespace kb::cli {

std::optional<std::size_t> ParseJobs(std::string_view text) {
  std::size_t jobs = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
  if (error != std::errc() || end != text.data() + text.size() || jobs == 0 || jobs > kMaxJobs) {
    return std::nullopt;
  }
  return jobs;
}

}  // namespace kb::cli

#ifndef KITBINDER_PLATFORM_RUN_PROGRAM_H_
#define KITBINDER_PLATFORM_RUN_PROGRAM_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kb::platform {

// What a program run by RunProgram did.
struct ProgramResult {
  int exit_status = -1;  // its exit status; -1 when a signal ended it
  std::string output;    // what it wrote on its standard output and error, interleaved
};

// Runs the program `arguments[0]` (looked up on PATH) with `arguments`, no shell between, and
// waits for it. Its standard input reads `input` and then ends; REQUIRES input is at most a
// few kilobytes (a password, not data: it is written whole before the output is read).
// REQUIRES arguments is not empty. Returns nullopt when the program could not be started (for
// a missing program, errno is ENOENT).
std::optional<ProgramResult> RunProgram(const std::vector<std::string>& arguments,
                                        std::string_view input = {});

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_RUN_PROGRAM_H_

#ifndef KITBINDER_TESTS_CABINET_RUN_PROGRAM_H_
#define KITBINDER_TESTS_CABINET_RUN_PROGRAM_H_

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace kb::test {

struct ProgramResult {
  int exit_code = -1;  // -1 when the program could not be started or did not exit normally
  std::string output;  // standard output
  std::string errors;  // standard error
  long peak_rss_kb = 0;
};

struct ProgramOptions {
  std::filesystem::path cwd;                             // empty: the current folder
  std::vector<std::pair<std::string, std::string>> env;  // variables to set in the child
};

// Runs args[0] (looked up on PATH) with the other arguments and waits for it. Standard input is
// /dev/null.
ProgramResult RunProgram(const std::vector<std::string>& args, const ProgramOptions& options = {});

// The kitbinder-cli built beside the tests.
std::string CliPath();

}  // namespace kb::test

#endif  // KITBINDER_TESTS_CABINET_RUN_PROGRAM_H_

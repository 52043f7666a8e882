#ifndef KITBINDER_TESTS_TEST_SUPPORT_RUN_COMMAND_H_
#define KITBINDER_TESTS_TEST_SUPPORT_RUN_COMMAND_H_

#include <stdio.h>
#include <sys/wait.h>

#include <string>

namespace kb::test {

// Runs `command` through the shell and returns its standard output; stores its exit status in
// *status (-1 when it could not be started or did not exit normally).
inline std::string RunCommand(const std::string& command, int* status) {
  std::string output;
  *status = -1;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  for (std::size_t n; (n = ::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int raw = ::pclose(pipe);
  if (WIFEXITED(raw)) *status = WEXITSTATUS(raw);
  return output;
}

}  // namespace kb::test

#endif  // KITBINDER_TESTS_TEST_SUPPORT_RUN_COMMAND_H_

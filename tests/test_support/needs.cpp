#include "test_support/needs.h"

#include <unistd.h>

#include "test_support/run_command.h"

namespace kb::test {

std::optional<std::string> MissingTools(std::initializer_list<std::string_view> tools) {
  std::string command = "/usr/bin/python3 " KITBINDER_SOURCE_DIR "/tests/test_support/needs.py";
  for (const std::string_view tool : tools) command.append(" ").append(tool);
  int status = -1;
  std::string message = RunCommand(command + " 2>&1", &status);
  if (status == 0) return std::nullopt;
  return message;
}

std::optional<std::string> UnreachableByNobody(const std::string& program) {
  if (::geteuid() != 0) return std::nullopt;
  int status = -1;
  RunCommand("setpriv --reuid=nobody --regid=nogroup --clear-groups test -x '" + program + "'",
             &status);
  if (status == 0) return std::nullopt;
  return "the user nobody cannot run " + program + ": a folder above it is closed to other users";
}

}  // namespace kb::test

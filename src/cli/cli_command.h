#ifndef KITBINDER_CLI_CLI_COMMAND_H_
#define KITBINDER_CLI_CLI_COMMAND_H_

#include <span>
#include <string_view>

namespace kb::cli {

// Exit codes shared by every subcommand.
enum ExitCode : int {
  kExitOk = 0,
  kExitFailed = 1,  // the work was attempted and failed
  kExitUsage = 2,   // bad usage or unreadable input; a message went to stderr
};

// One subcommand: `run` receives the arguments after the subcommand's name and returns an
// ExitCode. It prints its own errors on stderr.
struct CliCommand {
  std::string_view name;
  std::string_view usage;
  int (*run)(std::span<const std::string_view> args);
};

// Prints "kitbinder-cli: <message>" and the command's usage line on stderr; returns kExitUsage.
int UsageError(const CliCommand& command, std::string_view message);

}  // namespace kb::cli

#endif  // KITBINDER_CLI_CLI_COMMAND_H_

#ifndef KITBINDER_CLI_COMMANDS_H_
#define KITBINDER_CLI_COMMANDS_H_

#include <span>

#include "cli/cli_command.h"

namespace kb::cli {

// Every subcommand of kitbinder-cli, in the order `kitbinder-cli --help` lists them. Each
// subcommand lives in a file of its own in this folder and adds its entry here.
std::span<const CliCommand> AllCommands();

}  // namespace kb::cli

#endif  // KITBINDER_CLI_COMMANDS_H_

#include "cli/commands.h"

#include <array>

#include "cli/database_commands.h"

namespace kb::cli {

extern const CliCommand kBuildCommand;
extern const CliCommand kCabCommand;

std::span<const CliCommand> AllCommands() {
  static const std::array kCommands = {
      kBuildCommand,   kCabCommand,     kImportCommand, kExportCommand,   kTablesCommand,
      kStreamsCommand, kSummaryCommand, kQueryCommand,  kValidateCommand,
  };
  return kCommands;
}

}  // namespace kb::cli

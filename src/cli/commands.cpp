#include "cli/commands.h"

#include <array>

#include "cli/database_commands.h"

namespace kb::cli {

std::span<const CliCommand> AllCommands() {
  static constexpr std::array<CliCommand, 6> kCommands = {
      kImportCommand,  kExportCommand,  kTablesCommand,
      kStreamsCommand, kSummaryCommand, kQueryCommand,
  };
  return kCommands;
}

}  // namespace kb::cli

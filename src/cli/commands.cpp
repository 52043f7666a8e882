#include "cli/commands.h"

#include <array>

namespace kb::cli {

extern const CliCommand kCabCommand;

std::span<const CliCommand> AllCommands() {
  static const std::array kCommands = {kCabCommand};
  return kCommands;
}

}  // namespace kb::cli

#include "cli/commands.h"

#include <array>

namespace kb::cli {

std::span<const CliCommand> AllCommands() {
  static constexpr std::array<CliCommand, 0> kCommands = {};
  return kCommands;
}

}  // namespace kb::cli

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "platform/removal_on_signal.h"

namespace kb::cli {

int UsageError(const CliCommand& command, std::string_view message) {
  std::fprintf(stderr, "kitbinder-cli: %.*s\nusage: kitbinder-cli %.*s\n",
               static_cast<int>(message.size()), message.data(),
               static_cast<int>(command.usage.size()), command.usage.data());
  return kExitUsage;
}

namespace {

void PrintUsage(std::FILE* out) {
  std::fprintf(out, "usage: kitbinder-cli COMMAND [ARGS...]\n\ncommands:\n");
  for (const CliCommand& command : AllCommands()) {
    std::fprintf(out, "  %.*s\n", static_cast<int>(command.usage.size()), command.usage.data());
  }
}

int Main(int argc, char** argv) {
  // An interrupted command leaves none of its marked temporary files behind.
  platform::RemoveMarkedFilesOnSignals();
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    PrintUsage(stdout);
    return kExitOk;
  }
  for (const CliCommand& command : AllCommands()) {
    if (command.name == args[0]) return command.run(std::span(args).subspan(1));
  }
  std::fprintf(stderr, "kitbinder-cli: unknown command '%s'\n", std::string(args[0]).c_str());
  PrintUsage(stderr);
  return kExitUsage;
}

}  // namespace
}  // namespace kb::cli

int main(int argc, char** argv) {
  return kb::cli::Main(argc, argv);
}

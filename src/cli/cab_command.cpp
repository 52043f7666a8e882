
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cabinet/builder/cabinet_builder.h"
#include "cli/cli_command.h"
#include "cli/jobs_option.h"
#include "cli/progress_printer.h"
#include "platform/regular_file.h"

// kitbinder-cli cab [--max-size N] [--threshold N] [--jobs N] [--compression LEVEL] PREFIX
//                   FILE...
// Packs the files into PREFIX1.cab (PREFIX2.cab ... when spanning) in the current folder
// through the cabinet builder; "+" is a folder break.
namespace kb::cli {
namespace {

int RunCab(std::span<const std::string_view> args);

}  // namespace

extern const CliCommand kCabCommand = {"cab",
                                       "cab [--max-size N] [--threshold N] [--jobs N] "
                                       "[--compression none|fast|normal|best|lzx] PREFIX "
                                       "FILE...  "
                                       "(FILE \"+\" starts a new folder)",
                                       RunCab};

namespace {

constexpr std::string_view kFolderBreak = "+";

struct CabOptions {
  cabinet::CabinetRunOptions run{.observer = ProgressPrinter()};
  std::string_view prefix;
  std::vector<std::string_view> files;
};

std::optional<std::uint32_t> ParseSize(std::string_view text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Fills `options` from the arguments; returns the usage error's message, or nullopt.
std::optional<std::string> ParseArguments(std::span<const std::string_view> args,
                                          CabOptions& options) {
  std::size_t i = 0;
  for (; i < args.size() && args[i].starts_with("--"); i += 2) {
    if (args[i] == kJobsOption) {
      const std::optional<std::size_t> jobs =
          i + 1 < args.size() ? ParseJobs(args[i + 1]) : std::nullopt;
      if (!jobs) return std::string(kJobsRangeMessage);
      options.run.compression_threads = *jobs;
      continue;
    }
    if (args[i] == "--compression") {
      const std::optional<cabinet::CabinetCompression> compression =
          i + 1 < args.size() ? cabinet::ParseCabinetCompression(args[i + 1]) : std::nullopt;
      if (!compression) return "--compression needs none, fast, normal, best or lzx";
      options.run.compression = *compression;
      continue;
    }
    const bool is_max = args[i] == "--max-size";
    if (!is_max && args[i] != "--threshold") return "unknown option '" + std::string(args[i]) + "'";
    const std::optional<std::uint32_t> value =
        i + 1 < args.size() ? ParseSize(args[i + 1]) : std::nullopt;
    if (!value) return std::string(args[i]) + " needs a number from 0 to 4294967295";
    (is_max ? options.run.max_cabinet_size : options.run.folder_threshold) = *value;
  }
  if (i == args.size()) return "missing PREFIX";
  options.prefix = args[i];
  if (options.prefix.empty() || options.prefix.find_first_of("/\\") != std::string_view::npos) {
    return "PREFIX must be a plain file name; the cabinets are written in the current folder";
  }
  options.files.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
  // A cabinet without a file is one that extractors refuse.
  if (std::ranges::all_of(options.files,
                          [](std::string_view file) { return file == kFolderBreak; })) {
    return "no FILE to pack: name at least one file";
  }
  return std::nullopt;
}

// Why `path` cannot be packed, or nullopt when it is a readable regular file. A pipe is refused
// at once rather than waited on.
std::optional<std::string> InputProblem(std::string_view path) {
  std::string problem;
  if (platform::OpenRegularFile(std::string(path), &problem).valid()) return std::nullopt;
  return problem;
}

// Runs the builder; on failure returns its LastError.
std::optional<std::string> Build(const CabOptions& options) {
  cabinet::CabinetBuilder builder;
  // RunCab has refused a prefix that does not fit, so only memory can run out.
  if (!builder.SetCabinetName(options.prefix)) return "out of memory\n";
  builder.SetRunOptions(options.run);
  for (const std::string_view file : options.files) builder.AddFile(file, "");
  if (builder.CreateCabinet()) return std::nullopt;
  return builder.LastError();
}

int RunCab(std::span<const std::string_view> args) {
  CabOptions options;
  if (const std::optional<std::string> message = ParseArguments(args, options)) {
    return UsageError(kCabCommand, *message);
  }
  if (options.prefix.size() > cabinet::CabinetBuilder::kMaxPrefixLength) {
    return UsageError(kCabCommand, "PREFIX is too long");
  }
  for (const std::string_view file : options.files) {
    if (file == kFolderBreak) continue;
    if (const std::optional<std::string> problem = InputProblem(file)) {
      std::fprintf(stderr, "kitbinder-cli: cannot read '%.*s': it %s\n",
                   static_cast<int>(file.size()), file.data(), problem->c_str());
      return kExitUsage;
    }
  }
  const std::optional<std::string> error = Build(options);
  std::printf("\n");
  if (!error) return kExitOk;
  std::fprintf(stderr, "kitbinder-cli: cabinet creation failed: %s", error->c_str());
  return kExitFailed;
}

}  // namespace
}  // namespace kb::cli

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "cli/build_options.h"
#include "cli/cli_command.h"
#include "cli/progress_printer.h"
#include "package/build_command.h"
#include "project/form_exchange.h"
#include "project/numbering_gap.h"
#include "project/project_file_problem.h"
#include "project/project_settings.h"

namespace kb::cli {
namespace {

int RunBuild(std::span<const std::string_view> args);

}  // namespace

extern const CliCommand kBuildCommand = {
    "build",
    "build PROJECT.kbr [--write-back] [--jobs N] [--set KEY=VALUE]... [--output PATH]\n"
    "                    [--compression none|fast|normal|best|lzx]\n"
    "                    [--sign CERT.p12 [--sign-password-file FILE]] [--timestamp URL]",
    RunBuild};

namespace {

void PrintError(std::string_view message) {
  std::fflush(stdout);  // the progress lines come first
  std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
}

// The largest cabinet a build makes: tests set KITBINDER_MAX_CABINET_SIZE to make packages of
// several cabinets from a few small files. No user needs it, so it is no option.
std::uint32_t MaxCabinetSize() {
  const char* text = std::getenv("KITBINDER_MAX_CABINET_SIZE");
  const std::string_view value = text ? text : "";
  std::uint32_t size = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), size);
  if (value.empty() || error != std::errc() || end != value.data() + value.size()) {
    return kMaxPackageCabinetSize;
  }
  return size;
}

// True when no one may write the file at `path`: the user made it read-only.
bool IsReadOnly(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// --write-back after a successful build: the generated codes into the project file, unless the
// user made it read-only (a permission root would not be stopped by).
int WriteBack(CProjectSettings& project, const CProjectSettings& built) {
  const std::string& path = project.projectPath;
  if (IsReadOnly(path)) {
    PrintError("kitbinder-cli: " + path +
               " is read-only, so the generated codes were not saved in it; make it writable "
               "and build again with --write-back to keep them");
    return kExitFailed;
  }
  TakeGeneratedIdentifiers(project, built);
  if (!project.Save("")) {
    PrintError("kitbinder-cli: cannot write " + path + " (" + std::strerror(errno) +
               "); the generated codes were not saved in it");
    return kExitFailed;
  }
  return kExitOk;
}

int BuildProject(std::span<const std::string_view> args) {
  BuildOptions options;
  if (const std::optional<std::string> message = ParseBuildOptions(args, options)) {
    return UsageError(kBuildCommand, *message);
  }
  const std::string project_name(options.project);
  std::error_code error;
  const std::filesystem::path project_path = std::filesystem::absolute(project_name, error);
  if (error) {
    return UsageError(kBuildCommand, "cannot find " + project_name + " (" + error.message() + ")");
  }
  if (const auto problem = ProjectFileProblem(project_path.string())) {
    return UsageError(kBuildCommand, *problem);
  }
  CProjectSettings project;
  project.Load(project_path.string(), options.overrides);
  if (const auto warning = NumberingGapWarning(project_path.string())) {
    PrintError("kitbinder-cli: warning: " + *warning);
  }
  if (project.files.empty()) {
    PrintError(kNoFilesMessage);
    return kExitFailed;
  }
  // The project as the desktop program's form hands it to a build.
  CProjectSettings settings = project;
  KeepWhatTheFormKeeps(settings);
  const std::string project_folder = project_path.parent_path().string();
  PackageOptions package_options;
  std::string problem;
  package_options.signing = SigningFor(options, settings, project_folder, &problem);
  if (!problem.empty()) return UsageError(kBuildCommand, problem);
  package_options.max_cabinet_size = MaxCabinetSize();
  if (!options.output.empty()) {
    package_options.output_path = std::filesystem::absolute(options.output, error).string();
  }
  const BuildOutcome outcome =
      BuildPackage(settings, project_folder,
                   {.compression_threads = options.jobs, .observer = ProgressPrinter()},
                   std::move(package_options));
  std::printf("\n");  // ends the last progress line
  if (!outcome.success) {
    PrintError(outcome.message);
    return kExitFailed;
  }
  for (const std::string& warning : outcome.warnings) PrintError(warning);
  std::printf("%s\n", outcome.message.c_str());
  if (options.write_back) return WriteBack(project, settings);
  return kExitOk;
}

// A build that runs out of memory, or stops on another exception, fails with a message
// rather than ending the program.
int RunBuild(std::span<const std::string_view> args) {
  try {
    return BuildProject(args);
  } catch (...) {
    PrintError(EscapedExceptionOutcome().message);
    return kExitFailed;
  }
}

}  // namespace
}  // namespace kb::cli

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/cli_command.h"
#include "package/build_command.h"
#include "project/project_settings.h"

namespace kb::cli {
namespace {

int RunBuild(std::span<const std::string_view> args);

}  // namespace

extern const CliCommand kBuildCommand = {"build", "build PROJECT.kbr [--write-back]", RunBuild};

namespace {

// The project as the desktop form would hand it to a build: file and component keys are not
// kept by the form, so every build makes new ones.
CProjectSettings AsFilledFromForm(const CProjectSettings& project) {
  CProjectSettings settings = project;
  for (auto& file : settings.files) {
    file.id.clear();
    file.componentid.clear();
  }
  return settings;
}

// What the desktop program writes back into its form after a build, and so into the project
// file at its next save: the codes and the component GUIDs.
void TakeGeneratedIdentifiers(CProjectSettings& project, const CProjectSettings& built) {
  project.productcode = built.productcode;
  project.packagecode = built.packagecode;
  project.upgradecode = built.upgradecode;
  for (std::size_t i = 0; i < project.files.size(); ++i) {
    project.files[i].componentguid = built.files[i].componentguid;
  }
}

int RunBuild(std::span<const std::string_view> args) {
  if (args.empty() || args.size() > 2 || (args.size() == 2 && args[1] != "--write-back")) {
    return UsageError(kBuildCommand, "expected a project file and optionally --write-back");
  }
  const std::filesystem::path project_path = std::filesystem::absolute(std::string(args[0]));
  if (!std::ifstream(project_path)) {
    return UsageError(kBuildCommand, "cannot read " + project_path.string());
  }
  CProjectSettings project;
  project.Load(project_path.string());
  if (project.files.empty()) {
    std::printf("%.*s\n", static_cast<int>(kNoFilesMessage.size()), kNoFilesMessage.data());
    return kExitFailed;
  }
  CProjectSettings settings = AsFilledFromForm(project);
  const BuildOutcome outcome = BuildPackage(settings, project_path.parent_path().string());
  std::printf("\n%s\n", outcome.message.c_str());
  if (args.size() == 2) {
    TakeGeneratedIdentifiers(project, settings);
    if (!project.Save("")) {
      std::fprintf(stderr, "kitbinder-cli: cannot write %s\n", project_path.c_str());
      return kExitFailed;
    }
  }
  return outcome.success ? kExitOk : kExitFailed;
}

}  // namespace
}  // namespace kb::cli

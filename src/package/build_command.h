#ifndef KITBINDER_PACKAGE_BUILD_COMMAND_H_
#define KITBINDER_PACKAGE_BUILD_COMMAND_H_

#include <string>
#include <string_view>
#include <vector>

#include "cabinet/builder/cabinet_builder.h"
#include "package/package_options.h"
#include "project/project_settings.h"

namespace kb {

// The heart of Package > Build, shared by the desktop program and kitbinder-cli.

inline constexpr std::string_view kNoFilesMessage = "No files in package";
inline constexpr std::string_view kBuildCompleteMessage = "MSI Creation complete";
inline constexpr std::string_view kBuildFailedMessage = "An error occurred during MSI Creation.\n";
inline constexpr std::string_view kBuildCancelledMessage = "Build cancelled.";

// The template for an installer language: "template-fr.msi" for "fr", "template-es.msi" for
// "es", "template-en.msi" for anything else.
std::string TemplateFileName(std::string_view language);

// The full path of the template for `language`: beside the program, or else in
// ../share/kitbinder from the program's folder (an installed layout). When neither exists, the
// path beside the program, so that the build reports the missing template.
std::string TemplatePath(std::string_view language);

struct BuildOutcome {
  bool success = false;
  std::string message;                // what the user is shown, one of the messages above
  std::vector<std::string> warnings;  // the validator's warnings on the package, a line each
  bool cancelled = false;             // stopped on request: no failure, nothing made
};

// Builds the package of `settings` into the folder `project_folder`, in which the project's
// relative paths are found; the process's current folder plays no part. The files are packed
// into the cabinet with `cabinet_options`: its observer hears how the packing advances, on the
// thread that runs the build (the build's longest part, by far); the build itself prints
// nothing.
// REQUIRES: `settings` holds at least one file; the caller shows kNoFilesMessage otherwise.
// The codes and component GUIDs the build generates are left in `settings`.
// An exception that escapes the build (std::bad_alloc when memory runs out) ends it as a failed
// build whose message says so. `package_options` say where the package goes and whether it is
// signed, and may stop it early: a build that stops on that request is `cancelled`, with
// kBuildCancelledMessage, and leaves the folder as it was.
[[nodiscard]] BuildOutcome BuildPackage(CProjectSettings& settings,
                                        const std::string& project_folder,
                                        cabinet::CabinetRunOptions cabinet_options = {},
                                        PackageOptions package_options = {});

// The failed outcome for the exception being handled.
// REQUIRES: called inside a catch handler.
BuildOutcome EscapedExceptionOutcome();

}  // namespace kb

#endif  // KITBINDER_PACKAGE_BUILD_COMMAND_H_

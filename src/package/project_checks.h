#ifndef KITBINDER_PACKAGE_PROJECT_CHECKS_H_
#define KITBINDER_PACKAGE_PROJECT_CHECKS_H_

#include <optional>
#include <string>
#include <vector>

#include "package/folder_tree.h"
#include "package/project_problem.h"
#include "project/project_settings.h"

namespace kb {

// The checks a project passes before a build writes anything, so that a package is never made
// that Windows will not install or that installs something other than the project lists:
// - the title, which names the package file and the product's folder, is a name Windows can
//   create and short enough for a file name here (TitleProblem);
// - the version is one the installer can compare (ProductVersionProblem), the compression one
//   the cabinet builder knows;
// - every source exists and is a file or a folder; the files' names are names Windows can
//   create, and no two are equal ignoring letter case (they are installed into one folder);
// - no file is larger than a cabinet holds (cabinet::CabinetBuilder::kMaxFileSize);
// - the product, package and upgrade codes and the component GUIDs are GUIDs, and no two files
//   share a component GUID;
// - the icon files are icons under distinct names, and every shortcut's icon is among them;
// - the licence is text or Rich Text, the banner a JPEG or BMP image, when set (LicenseProblem,
//   BannerProblem);
// - the shortcut labels fit the installer's Shortcut table: no "|", at most 128 characters with
//   the short name, and a name Windows can give the shortcut's file;
// - at most one file is started when setup exits, and it is a program (.exe), not a folder;
// - the folder rows' trees hold only what Windows can install (ReadFolderTrees), which fills
//   `trees`.
// Relative paths are read from `project_folder`. Puts the codes and component GUIDs that pass
// into their canonical form: "{" + GUID text + "}" for the codes, the GUID text alone for the
// component GUIDs (the Component row adds the braces). Nothing else of `settings` changes: no
// code or GUID is made here.
// Returns every problem found, in the order of the checks above; empty when the project can be
// built.
[[nodiscard]] std::vector<ProjectProblem> CheckProject(CProjectSettings& settings,
                                                       const std::string& project_folder,
                                                       FolderTrees& trees);

// Why a build would refuse `title`, or nullopt. The empty title is refused too.
std::optional<std::string> TitleProblem(const std::string& title);

// Why a build would refuse the licence file or the banner at `path` (a relative one found in
// `project_folder`), or nullopt; the empty path passes (the template's stays).
std::optional<std::string> LicenseProblem(const std::string& path,
                                          const std::string& project_folder);
std::optional<std::string> BannerProblem(const std::string& path,
                                         const std::string& project_folder);

// Why a build would refuse `code` as the project's `field` ("product code", "package code" or
// "upgrade code"), or nullopt; the empty code passes (the build makes one).
std::optional<std::string> CodeProblem(const std::string& code, const std::string& field);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_PROJECT_CHECKS_H_

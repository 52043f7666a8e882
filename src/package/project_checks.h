#ifndef KITBINDER_PACKAGE_PROJECT_CHECKS_H_
#define KITBINDER_PACKAGE_PROJECT_CHECKS_H_

#include <string>
#include <vector>

#include "project/project_settings.h"

namespace kb {

// The checks a project passes before a build writes anything, so that a package is never made
// that Windows will not install or that installs something other than the project lists:
// - the title, which names the package file and the product's folder, is a name Windows can
//   create and short enough for a file name here;
// - the files' names are names Windows can create, and no two are equal ignoring letter case
//   (they are installed into one folder);
// - no file is larger than a cabinet holds (cabinet::CabinetBuilder::kMaxFileSize);
// - the product, package and upgrade codes and the component GUIDs are GUIDs, and no two files
//   share a component GUID;
// - the icon files are icons under distinct names, and every shortcut's icon is among them;
// - the licence is text or Rich Text, the banner a JPEG or BMP image (when set);
// - the shortcut labels fit the installer's Shortcut table: no "|", at most 128 characters with
//   the short name, and a name Windows can give the shortcut's file;
// - at most one file is started when setup exits, and it is a program (.exe), not a folder.
// Relative paths are read from `project_folder`. Puts the codes and component GUIDs that pass
// into their canonical form: "{" + GUID text + "}" for the codes, the GUID text alone for the
// component GUIDs (the Component row adds the braces).
// Returns one line per problem, each naming the value, field or source path and what to do;
// empty when the project can be built.
[[nodiscard]] std::vector<std::string> CheckProject(CProjectSettings& settings,
                                                    const std::string& project_folder);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_PROJECT_CHECKS_H_

#ifndef KITBINDER_PROJECT_PROJECT_ICON_ENTRY_H_
#define KITBINDER_PROJECT_PROJECT_ICON_ENTRY_H_

#include <string>

namespace kb {

// One shortcut icon of a project. `name` is always FileNameFromPath(path); the package uses it
// as the icon's key.
struct ProjectIconEntry {
  std::string path;
  std::string name;
};

}  // namespace kb

#endif  // KITBINDER_PROJECT_PROJECT_ICON_ENTRY_H_

#ifndef KITBINDER_PROJECT_PATH_IN_PROJECT_H_
#define KITBINDER_PROJECT_PATH_IN_PROJECT_H_

#include <string>
#include <string_view>

namespace kb {

// Where the file a project names by `path` lies. A project's relative paths (its files, icons,
// licence and banner) are relative to `project_folder`, the folder of its project file, and
// never to the process's current folder, which other threads and windows may change.
// Returns `path` itself when it is empty or absolute, or when `project_folder` is empty;
// otherwise `project_folder` + "/" + `path`.
std::string PathInProject(std::string_view project_folder, std::string_view path);

}  // namespace kb

#endif  // KITBINDER_PROJECT_PATH_IN_PROJECT_H_

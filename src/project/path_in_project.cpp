#include "project/path_in_project.h"

namespace kb {

std::string PathInProject(std::string_view project_folder, std::string_view path) {
  if (path.empty() || path.starts_with('/') || project_folder.empty()) return std::string(path);
  std::string joined(project_folder);
  if (!joined.ends_with('/')) joined += '/';
  return joined.append(path);
}

}  // namespace kb

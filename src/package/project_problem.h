#ifndef KITBINDER_PACKAGE_PROJECT_PROBLEM_H_
#define KITBINDER_PACKAGE_PROJECT_PROBLEM_H_

#include <cstddef>
#include <optional>
#include <string>

namespace kb {

// Where a problem lies, so that a program can take the user to it: a property, or the file
// list (one of its rows, or the list as a whole).
enum class ProjectField {
  kTitle,
  kProductVersion,
  kProductCode,
  kPackageCode,
  kUpgradeCode,
  kLicense,
  kBanner,
  kCompression,
  kFiles,
};

struct ProjectProblem {
  ProjectField field;
  std::optional<std::size_t> file;  // for kFiles: the index in `files` of the row at fault
  std::string text;  // one line naming the value, field or source path and what to do
};

}  // namespace kb

#endif  // KITBINDER_PACKAGE_PROJECT_PROBLEM_H_

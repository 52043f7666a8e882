#ifndef KITBINDER_PROJECT_FILE_NAME_FROM_PATH_H_
#define KITBINDER_PROJECT_FILE_NAME_FROM_PATH_H_

#include <string>
#include <string_view>

namespace kb {

// The part of `path` after its last separator, "\" or "/" (projects written on Windows use the
// one, native paths the other); the whole text when it has none; empty when it ends in one.
// In UTF-8 neither separator byte occurs inside a multibyte character, so every one found
// really separates.
std::string FileNameFromPath(std::string_view path);

}  // namespace kb

#endif  // KITBINDER_PROJECT_FILE_NAME_FROM_PATH_H_

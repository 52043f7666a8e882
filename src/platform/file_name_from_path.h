#ifndef KITBINDER_PLATFORM_FILE_NAME_FROM_PATH_H_
#define KITBINDER_PLATFORM_FILE_NAME_FROM_PATH_H_

#include <string_view>

namespace kb::platform {

// The part of `path` after its last separator, "\" or "/" (projects written on Windows use the
// one, native paths the other); the whole text when it has none; empty when it ends in one.
// In UTF-8 neither separator byte occurs inside a multibyte character, so every one found
// really separates. The result views `path`.
std::string_view FileNameFromPath(std::string_view path);

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_FILE_NAME_FROM_PATH_H_

#ifndef KITBINDER_PLATFORM_TEMP_NAME_H_
#define KITBINDER_PLATFORM_TEMP_NAME_H_

#include <optional>
#include <string>
#include <string_view>

namespace kb::platform {

// The folder for temporary files: $TMPDIR, else $TMP, else `fallback` when it is not empty,
// else the current folder (absolute). Returns nullopt only when the current folder is needed
// and cannot be determined.
std::optional<std::string> TempFolder(std::string_view fallback = {});

// A path in TempFolder() (or, when neither TMPDIR nor TMP is set and `fallback` is not empty,
// in `fallback`) whose file name is `prefix` followed by random letters and digits, and which
// names nothing yet. Like the C runtime's _tempnam it only proposes the name: the caller
// must create the file exclusively and ask again if another process got there first.
// Returns nullopt when no folder or no random bytes are available.
std::optional<std::string> TempName(std::string_view prefix, std::string_view fallback = {});

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_TEMP_NAME_H_

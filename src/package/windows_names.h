#ifndef KITBINDER_PACKAGE_WINDOWS_NAMES_H_
#define KITBINDER_PACKAGE_WINDOWS_NAMES_H_

#include <optional>
#include <string>
#include <string_view>

namespace kb {

// The rules Windows sets for the names of files and folders. A package holds names that Windows
// creates on the user's machine (the files it installs, the product's folder, shortcuts, icons);
// the build checks them here, since an install that meets one it cannot create fails there.

// Why Windows cannot create a file or folder named `name` (one path component, UTF-8), as a
// phrase to follow the name ("holds \":\"", "ends in a dot or a space", ...); nullopt when it
// can. Refused: the empty name; the characters < > : " / \ | ? * and control characters; a
// trailing dot or space (Windows drops them, so "." and ".." too); the device names CON, PRN,
// AUX, NUL, CONIN$, CONOUT$, CLOCK$, COM1 to COM9 and LPT1 to LPT9 (also with superscript
// digits), with or without an extension, in any letter case.
std::optional<std::string> WindowsNameProblem(std::string_view name);

// `name` (UTF-8) with its letters in one case, as Windows compares names: two names with equal
// keys name one file. Covers the letters of Windows-1252, the code page of our packages; any
// other character stands for itself.
std::string WindowsNameKey(std::string_view name);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_WINDOWS_NAMES_H_

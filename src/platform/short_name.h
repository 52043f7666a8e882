#ifndef KITBINDER_PLATFORM_SHORT_NAME_H_
#define KITBINDER_PLATFORM_SHORT_NAME_H_

#include <string>
#include <string_view>

namespace kb::platform {

// The alternate 8.3 name a Windows file system would give a file named `long_name` (one path
// component, UTF-8), since this platform keeps none. Returns empty text when `long_name` is a
// valid 8.3 name itself, letter case ignored, for then Windows keeps no alternate name either.
// Otherwise the name is made as Windows makes it: letters upper-cased, blanks and all dots
// but the last dropped, other characters that 8.3 names cannot hold (non-ASCII ones included)
// turned into "_", then the first six characters of the base, "~1", and the first three of
// the extension after the last dot: "My Tool.exe" gives "MYTOOL~1.EXE". The number is always 1:
// names are made one at a time, without looking at a folder's other names.
std::string AlternateShortName(std::string_view long_name);

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_SHORT_NAME_H_

#ifndef KITBINDER_PLATFORM_SHORT_NAME_H_
#define KITBINDER_PLATFORM_SHORT_NAME_H_

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kb::platform {

// The alternate 8.3 name a Windows file system would give a file named `long_name` (one path
// component, UTF-8), since this platform keeps none. Returns empty text when `long_name` is a
// valid 8.3 name itself, letter case ignored, for then Windows keeps no alternate name either.
// Otherwise the name is made as Windows makes it: letters upper-cased, blanks and all dots
// but the last dropped, other characters that 8.3 names cannot hold (non-ASCII ones included)
// turned into "_", then the first six characters of the base, "~1", and the first three of
// the extension after the last dot: "My Tool.exe" gives "MYTOOL~1.EXE". The number is always 1:
// the name a file would get alone in its folder (UniqueShortNames makes a folder's names).
std::string AlternateShortName(std::string_view long_name);

// The alternate short names of the entries of one folder, files and subfolders alike, named
// `long_names` (distinct, letter case ignored), in that order; empty text for a name that is a
// valid 8.3 name itself. No two short names of the folder are equal, letter case ignored, and
// none equals an entry's valid 8.3 name: as Windows does, the entries sharing a start get "~1"
// to "~4" in list order, later ones the first two characters, four hexadecimal digits of a hash
// of the long name and "~1" ("DO3F2A~1.TXT"), the number rising where that is taken too.
std::vector<std::string> UniqueShortNames(std::span<const std::string> long_names);

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_SHORT_NAME_H_

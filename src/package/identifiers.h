#ifndef KITBINDER_PACKAGE_IDENTIFIERS_H_
#define KITBINDER_PACKAGE_IDENTIFIERS_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

// The unique texts a package needs, each made from a new random (version 4) GUID drawn from
// the operating system's random source (or, in a reproducible build, from the stream of
// ReproducibleIdentifiers). Hexadecimal digits are upper case. Each returns empty
// text in the unlikely case that the random source fails, so that no caller ever receives a
// code that is not unique.

// The GUID in registry format without braces, 36 characters:
// "9A1C04E2-5B3D-4F60-8E21-7C0D3B9A1F44". Used for component GUIDs.
std::string NewGuidText();

// "_" and the 32 digits of a new GUID text, 33 characters: the row keys of files, components,
// folders and shortcuts.
std::string NewKeyText();

// A new GUID text between braces, 38 characters: product, package and upgrade codes.
std::string NewBracedGuidText();

// `text` as a GUID text (36 characters, upper case, no braces) when it is a GUID in registry
// format, with or without a pair of braces, in any letter case: "{0f1e2d3c-4b5a-4697-8877-
// 665544332211}" gives "0F1E2D3C-4B5A-4697-8877-665544332211". nullopt for anything else.
std::optional<std::string> CanonicalGuidText(std::string_view text);

// The name-based GUID (RFC 4122 version 5: SHA-1) of the bytes of `name` under the namespace
// GUID `name_space` (its 16 bytes in network order), as a GUID text: the same name gives the
// same GUID on every machine, for ever.
std::string NameBasedGuidText(const std::array<std::uint8_t, 16>& name_space,
                              std::string_view name);

// The installer's file-name forms (short name, "|", long name) of the entries of one folder,
// named `long_names`, in that order: short names unique within the folder
// (platform::UniqueShortNames), a valid 8.3 long name standing on both sides.
std::vector<std::string> ShortLongNames(std::span<const std::string> long_names);

// The installer's file-name form of a file named `long_name` (one path component): its 8.3
// short name, "|" and `long_name`, as ShortLongFileName below makes it for an existing file.
std::string ShortLongName(std::string_view long_name);

// The installer's file-name form of the file at `path`: its 8.3 short name, "|" and its long
// name (the last component of `path`). A long name that is a valid 8.3 name stands on both
// sides: "readme.txt|readme.txt"; any other gets the short name Windows would make:
// "MYTOOL~1.EXE|My Tool.exe". Empty text when `path` names no existing file (a folder is no
// file).
std::string ShortLongFileName(const std::string& path);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_IDENTIFIERS_H_

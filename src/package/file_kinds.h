#ifndef KITBINDER_PACKAGE_FILE_KINDS_H_
#define KITBINDER_PACKAGE_FILE_KINDS_H_

#include <optional>
#include <string>

namespace kb {

// What the files a project names for its icons, licence and banner hold, told from their first
// bytes, as far as the installer cares. Each returns why the file at `path` cannot serve, as a
// phrase to follow its name ("does not exist", "is a folder", "is not an icon", ...), or nullopt
// when it can.

// A source the cabinet can pack: something that exists and is a file or a folder (a folder row's
// tree). The phrase for a missing one gives the system's reason: "does not exist (No such file
// or directory)". A pipe or a device is refused: it would never end, or block the build.
std::optional<std::string> SourceFileProblem(const std::string& path);

// An icon the installer can copy for a shortcut: a Windows icon file (.ico) holding at least one
// image, or a program (PE, .exe or .dll) that holds icons.
std::optional<std::string> IconFileProblem(const std::string& path);

// A licence the licence dialog can show: Rich Text or plain text in a single-byte or UTF-8
// encoding. UTF-16 text and binary data are refused.
std::optional<std::string> LicenseFileProblem(const std::string& path);

// A banner the dialogs' bitmap control can show: a JPEG or BMP image.
std::optional<std::string> BannerFileProblem(const std::string& path);

// A program the installer can start: a Windows executable (PE) named .exe, letter case aside.
std::optional<std::string> ProgramFileProblem(const std::string& path);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_FILE_KINDS_H_

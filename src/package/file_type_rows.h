#ifndef KITBINDER_PACKAGE_FILE_TYPE_ROWS_H_
#define KITBINDER_PACKAGE_FILE_TYPE_ROWS_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "package/installer_database.h"
#include "package/package_readback.h"
#include "project/project_settings.h"

namespace kb {

// The extensions of a `file%dextensions` text (".abc;.abcd"): the pieces between ";", blanks
// around them dropped, empty pieces left out.
std::vector<std::string> SplitExtensions(std::string_view extensions);

// What is wrong with one extension, or nullopt: it is "." followed by 1 to 30 letters, digits,
// "-" or "_".
std::optional<std::string> ExtensionProblem(std::string_view extension);

// The programmatic identifier that names the document type of the program at position `index`
// of the project's list: the product's and the program's names (letters and digits) and the
// position, at most 39 characters, as Windows wants.
std::string ProgIdOf(const CProjectSettings& settings, std::size_t index);

// The registration of the document types of the program `entry` (at position `index`, with the
// File row `file_key`) as plain registry values under Software\Classes, in the hive of the
// install's scope: the programmatic identifier with the description, the open command
// ("[#file]" "%1") and the shortcut icon (the program's own when it has none) as document icon;
// each extension's OpenWithProgids lists it. The extension's own default, which decides what a
// double click opens, is a component of its own that installs only when no other program holds
// the extension (found by AppSearch), so that uninstalling takes back only what the package set.
// The rows reach the file with the next commit. Returns which row could not be added.
// REQUIRES: database.is_open(); the extensions passed ExtensionProblem.
[[nodiscard]] std::optional<std::string> AddFileTypeRows(CInstallerDatabase& database,
                                                         const CProjectSettings& settings,
                                                         std::size_t index,
                                                         const std::string& file_key);

// Adds to `expected` the rows AddFileTypeRows adds for every file of `settings`.
void ExpectFileTypeRows(const CProjectSettings& settings, ExpectedPackage& expected);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_FILE_TYPE_ROWS_H_

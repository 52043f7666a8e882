#ifndef KITBINDER_PACKAGE_COMPONENT_ROWS_H_
#define KITBINDER_PACKAGE_COMPONENT_ROWS_H_

#include <cstdint>
#include <optional>
#include <string_view>

#include "package/installer_database.h"

namespace kb {

// One installed file with a component of its own whose key path it is.
struct FileComponent {
  std::string_view component;  // the component's key
  std::string_view guid;       // its GUID text, without braces
  std::string_view directory;  // the key of the Directory row it is installed in
  std::string_view file;       // the File row's key, the file's name in the cabinet
  std::string_view file_name;  // "SHORT~1.EXT|long name.ext"
  std::string_view source;     // where it is read, for a program's version
  std::uint32_t size;          // the bytes the cabinet holds of it
  int sequence;                // its place in the cabinet, counted from 1
  int attributes;              // the component's attributes (64-bit or not)
};

// Puts `component` in the main feature (a FeatureComponents row). True when the row was added.
// REQUIRES: database.is_open().
[[nodiscard]] bool AddToMainFeature(CInstallerDatabase& database, std::string_view component);

// Adds the Component, File and FeatureComponents rows of `file` (a vital file in the main
// feature). A program or library (a PE file with a version resource) gets that version and
// language in its File row, so that repairs and updates follow the installer's versioning
// rules rather than file dates; other files have none. Returns the table whose row could not
// be added, or nullopt.
// REQUIRES: database.is_open().
[[nodiscard]] std::optional<std::string_view> AddFileComponent(CInstallerDatabase& database,
                                                               const FileComponent& file);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_COMPONENT_ROWS_H_

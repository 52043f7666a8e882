#ifndef KITBINDER_PACKAGE_PATH_ROWS_H_
#define KITBINDER_PACKAGE_PATH_ROWS_H_

#include <optional>
#include <string>

#include "package/installer_database.h"
#include "package/package_readback.h"
#include "project/project_settings.h"

namespace kb {

// The rows that put the install folder on PATH when the project asks for it (`addtopath`):
// an Environment row that appends [TARGETDIR] to the variable on install and takes that part
// out again on uninstall, never replacing the whole variable. The user's PATH for a per-user
// package, the system's for a per-machine one; a dual-purpose package has one component for
// each, and the installer keeps the one of the scope it installs in. Each component's key path
// is a registry value in its scope's hive, since no file can stand for an environment
// variable. The rows reach the file with the next commit. Returns which row could not be added;
// nullopt also when the project does not ask.
// REQUIRES: database.is_open().
[[nodiscard]] std::optional<std::string> AddPathRows(CInstallerDatabase& database,
                                                     const CProjectSettings& settings);

// Adds to `expected` the rows AddPathRows adds for `settings`.
void ExpectPathRows(const CProjectSettings& settings, ExpectedPackage& expected);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_PATH_ROWS_H_

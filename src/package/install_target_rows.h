#ifndef KITBINDER_PACKAGE_INSTALL_TARGET_ROWS_H_
#define KITBINDER_PACKAGE_INSTALL_TARGET_ROWS_H_

#include <optional>
#include <string>

#include "msi/api/msi_interface.h"
#include "package/installer_database.h"
#include "package/package_readback.h"
#include "project/project_settings.h"

namespace kb {

// What the project's install scope and platform change in a package made from a template, which
// installs for all users into the 32-bit program folder (ALLUSERS 1, TARGETDIR set by the
// custom action SetTargetDir, summary template "Intel;<languages>").
//
// Per machine: the template's choices. Per user: no ALLUSERS, the "elevation not required" bit
// of the summary's word count, the product folder under the user's local programs folder
// [LocalAppDataFolder]Programs. Either (dual-purpose): ALLUSERS 2 and MSIINSTALLPERUSER 1 (for
// the user unless the installation is given MSIINSTALLPERUSER="" on its command line), the
// bit clear, and the folder dialog's choice shown (OfferInstallScope 1): the choice sets
// MSIINSTALLPERUSER and moves a folder left at the default to the default of the choice. 64-bit:
// the summary template "x64;<languages>", ProgramFiles64Folder, and every component marked 64-bit,
// so the installer uses the 64-bit registry view for it.

// The registry root of values kept in the install's scope: the user's hive for a per-user
// package, the machine's for a per-machine one, the installing scope's for a dual-purpose one.
int ScopeRegistryRoot(const CProjectSettings& settings);

// The attributes every component of the package gets besides its own (0 or the 64-bit bit).
int PlatformComponentAttributes(const CProjectSettings& settings);

// Sets the platform in the summary's template and the scope's bit in its word count, on the open
// summary information `summary`; it reaches the file when the caller persists it. True when
// both were set.
[[nodiscard]] bool WriteInstallTargetSummary(MSIHANDLE summary, const CProjectSettings& settings);

// The properties of the scope and the default product folder. Returns what could not be set.
[[nodiscard]] std::optional<std::string> SetInstallTarget(CInstallerDatabase& database,
                                                          const CProjectSettings& settings);

// The component that removes the folders the package creates (the product folder and the Start
// Menu folder `menu_folder_key`) on uninstall, its key path a registry value that records the
// product folder, since no file can be the key path of a folder: in the user's hive for a
// per-user package, the machine's for a per-machine one, the installing scope's for a
// dual-purpose one. A per-machine package needs the component too: the
// Start Menu is a profile folder to the installer's rules, whatever the scope. The rows reach
// the file with the next commit. Returns which row could not be added.
[[nodiscard]] std::optional<std::string> AddProfileFolderRows(CInstallerDatabase& database,
                                                              const CProjectSettings& settings,
                                                              const std::string& menu_folder_key);

// Adds to `expected` the rows AddProfileFolderRows adds.
void ExpectProfileFolderRows(ExpectedPackage& expected);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_INSTALL_TARGET_ROWS_H_

#ifndef KITBINDER_PACKAGE_MAJOR_UPGRADE_H_
#define KITBINDER_PACKAGE_MAJOR_UPGRADE_H_

#include <optional>
#include <string>
#include <string_view>

#include "package/installer_database.h"
#include "project/project_settings.h"

namespace kb {

// A package replaces the installed versions of its product as a major upgrade: it is found by
// the upgrade code, so each version needs a product code of its own, and each package a package
// code of its own, or the installer takes two packages for one.

// Why the installer cannot compare `version` with an installed one, on one line naming the
// value and what to do; nullopt when it can. A comparable version is
// major.minor.build with major and minor at most 255 and build at most 65535, fields that are
// left out counting as 0 and a fourth field ignored. The empty version passes: the template's
// version then stands.
std::optional<std::string> ProductVersionProblem(std::string_view version);

// True when the build must make a new product code: the project has none, or made its product
// code for another version than its own. A product code with no version recorded (a project
// from before, or one typed in) is kept.
[[nodiscard]] bool NeedsNewProductCode(const CProjectSettings& settings);

// Replaces the package's Upgrade rows with those for `upgrade_code` at `version` (the
// package's own ProductVersion when empty): every older version and this same one is found,
// its features migrated and it is removed; a newer one is only detected, so that the package
// refuses to install over it. The rows reach the file with the next commit. True when all
// statements ran.
[[nodiscard]] bool WriteUpgradeRows(CInstallerDatabase& database, const std::string& upgrade_code,
                                    const std::string& version);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_MAJOR_UPGRADE_H_

#ifndef KITBINDER_VALIDATION_RULES_H_
#define KITBINDER_VALIDATION_RULES_H_

#include "validation/finding.h"
#include "validation/package_tables.h"

namespace kb::validation {

// The rules, by area. Each appends what it finds in `tables` to `findings` and reads only the
// tables it names; a table the package lacks has no rows.

// ICE03: every field against the package's _Validation table (nulls, ranges, sets, foreign
// keys, the common categories), when the package has one; without it, the foreign keys
// between the tables the other rules read.
void CheckColumnData(PackageTables& tables, Findings& findings);
// ICE02 key paths, ICE08 component codes, ICE09 the system folder, ICE18 folders without
// files, ICE21 components outside any feature, ICE30 two files at one place, ICE59 advertised
// shortcuts, and programs and libraries without a version.
void CheckComponents(PackageTables& tables, Findings& findings);
// ICE38, ICE43, ICE57, ICE64 and ICE91: what lives in the user's profile.
void CheckProfileData(PackageTables& tables, Findings& findings);
// ICE61 the Upgrade table and its properties; ICE63 where RemoveExistingProducts stands.
void CheckUpgradeSequence(PackageTables& tables, Findings& findings);
// ICE80: 64-bit components, folders and the summary information's platform and schema.
void CheckPlatform(PackageTables& tables, Findings& findings);

// Component attribute bits the rules read.
inline constexpr long long kComponentRegistryKeyPath = 0x4;
inline constexpr long long kComponentPermanent = 0x10;
inline constexpr long long kComponentOdbcKeyPath = 0x20;
inline constexpr long long kComponent64Bit = 0x100;
// Registry roots.
inline constexpr long long kRootUserOrMachine = -1;  // HKCU per user, HKLM per machine
inline constexpr long long kRootCurrentUser = 1;
inline constexpr long long kRootLocalMachine = 2;

}  // namespace kb::validation

#endif  // KITBINDER_VALIDATION_RULES_H_

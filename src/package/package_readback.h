#ifndef KITBINDER_PACKAGE_PACKAGE_READBACK_H_
#define KITBINDER_PACKAGE_PACKAGE_READBACK_H_

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "package/installer_database.h"

namespace kb {

// What a build puts into its package, to be read back from the file before the package takes
// its name: the build reports a package complete only when it holds all of it.
struct ExpectedPackage {
  std::map<std::string, int> added_rows;                        // rows added, by table
  std::vector<std::pair<std::string, std::string>> properties;  // Property rows and their values
  std::string package_code;      // the summary information's revision number
  bool welcome_skipped = false;  // the welcome dialog left out of the user-interface sequence
  // The Cabinet of Media rows 1, 2, ...; a name that starts with "#" names a stream the package
  // holds.
  std::vector<std::string> media_cabinets;
};

// The number of rows of each table a build adds rows to (File, Component, FeatureComponents,
// Shortcut, Icon, Directory) in `database`; -1 for a table that cannot be read.
std::map<std::string, int> CountRows(CInstallerDatabase& database);

// Opens the package at `path` and compares it with `expected`, counting rows from
// `template_rows` (CountRows of the template the package was made from). Returns the first
// thing the package lacks, as a line for the user, or nullopt when it holds it all.
std::optional<std::string> WhatThePackageLacks(const std::string& path,
                                               const ExpectedPackage& expected,
                                               const std::map<std::string, int>& template_rows);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_PACKAGE_READBACK_H_

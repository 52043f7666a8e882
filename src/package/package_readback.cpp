#include "package/package_readback.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace kb {
namespace {

struct CountedTable {
  std::string_view name;
  std::string_view key;  // a column every row has
};

constexpr std::array<CountedTable, 6> kCountedTables = {{{"File", "File"},
                                                         {"Component", "Component"},
                                                         {"FeatureComponents", "Feature_"},
                                                         {"Shortcut", "Shortcut"},
                                                         {"Icon", "Name"},
                                                         {"Directory", "Directory"}}};

// The rows `statement` selects; -1 when it cannot run.
int CountSelected(CInstallerDatabase& database, const std::string& statement) {
  if (!database.Execute(statement)) return -1;
  int rows = 0;
  while (database.Fetch()) ++rows;
  return rows;
}

// The first field of the row `statement` selects; nullopt when it selects none.
std::optional<std::string> SelectedText(CInstallerDatabase& database, std::string_view statement,
                                        std::initializer_list<StatementValue> values) {
  if (!database.Execute(statement, values) || !database.Fetch()) return std::nullopt;
  std::string text = database.GetString(1);
  database.CloseView();
  return text;
}

std::optional<std::string> SummaryPackageCode(CInstallerDatabase& database) {
  msi::ScopedHandle summary;
  if (MsiGetSummaryInformationA(database.database_handle(), nullptr, 0, summary.Receive()) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::array<char, 64> code{};
  DWORD size = code.size();
  UINT type = 0;
  if (MsiSummaryInfoGetPropertyA(summary.get(), PID_REVNUMBER, &type, nullptr, nullptr, code.data(),
                                 &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(code.data(), size);
}

std::optional<std::string> LackedRows(CInstallerDatabase& package, const ExpectedPackage& expected,
                                      const std::map<std::string, int>& template_rows) {
  const std::map<std::string, int> rows = CountRows(package);
  for (const auto& [table, added] : expected.added_rows) {
    const int before = template_rows.count(table) ? template_rows.at(table) : 0;
    const int found = rows.count(table) ? rows.at(table) - before : -1;
    if (found != added) {
      return "The package holds " + std::to_string(std::max(found, 0)) + " of the " +
             std::to_string(added) + " " + table + " rows the build added";
    }
  }
  return std::nullopt;
}

std::optional<std::string> LackedValues(CInstallerDatabase& package,
                                        const ExpectedPackage& expected) {
  for (const auto& [name, value] : expected.properties) {
    if (SelectedText(package, "select `Value` from `Property` where `Property`=?", {name}) !=
        value) {
      return "The package lacks the property " + name + " the build set";
    }
  }
  for (std::size_t i = 0; i < expected.media_cabinets.size(); ++i) {
    const std::string& cabinet = expected.media_cabinets[i];
    if (SelectedText(package, "select `Cabinet` from `Media` where `DiskId`=?",
                     {static_cast<int>(i + 1)}) != cabinet) {
      return "The package lacks the Media row of its cabinet " + cabinet;
    }
    if (cabinet.starts_with('#') &&
        !SelectedText(package, "select `Name` from `_Streams` where `Name`=?",
                      {std::string_view(cabinet).substr(1)})) {
      return "The package lacks its cabinet, the stream " + cabinet.substr(1);
    }
  }
  if (SummaryPackageCode(package) != expected.package_code) {
    return std::string("The package's summary information lacks its package code");
  }
  if (expected.welcome_skipped) {
    const auto sequence = SelectedText(
        package, "select `Sequence` from `InstallUISequence` where `Action`=?", {"WelcomeForm"});
    if (!sequence || !sequence->starts_with('-')) {
      return std::string(
          "The package still shows the welcome dialog (InstallUISequence row WelcomeForm)");
    }
  }
  return std::nullopt;
}

}  // namespace

std::map<std::string, int> CountRows(CInstallerDatabase& database) {
  std::map<std::string, int> rows;
  for (const CountedTable& table : kCountedTables) {
    rows[std::string(table.name)] = CountSelected(
        database, "select `" + std::string(table.key) + "` from `" + std::string(table.name) + "`");
  }
  return rows;
}

std::optional<std::string> WhatThePackageLacks(const std::string& path,
                                               const ExpectedPackage& expected,
                                               const std::map<std::string, int>& template_rows) {
  CInstallerDatabase package(path);
  if (!package.is_open()) return "The package cannot be opened again once written";
  if (auto lacked = LackedRows(package, expected, template_rows)) return lacked;
  return LackedValues(package, expected);
}

}  // namespace kb

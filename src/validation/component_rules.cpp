#include <map>
#include <set>
#include <string>

#include "validation/directory_tree.h"
#include "validation/rules.h"

namespace kb::validation {
namespace {

bool HasBit(const Table& table, std::size_t row, std::string_view column, long long bit) {
  return (table.Number(row, column).value_or(0) & bit) != 0;
}

// ICE02: a component's key path names a row of the table its attributes choose, and that row
// belongs to the component.
void CheckKeyPaths(PackageTables& tables, Findings& findings) {
  const Table& components = tables.Get("Component");
  for (std::size_t row = 0; row < components.size(); ++row) {
    const auto& key_path = components.Field(row, "KeyPath");
    if (!key_path) continue;
    const bool registry = HasBit(components, row, "Attributes", kComponentRegistryKeyPath);
    const bool odbc = HasBit(components, row, "Attributes", kComponentOdbcKeyPath);
    const std::string table_name = registry ? "Registry" : odbc ? "ODBCDataSource" : "File";
    const std::string key_column = registry ? "Registry" : odbc ? "DataSource" : "File";
    const Table& owners = tables.Get(table_name);
    const auto owner = owners.Find(key_column, *key_path);
    const std::string component = components.Text(row, "Component");
    if (!owner) {
      findings.push_back(
          {Severity::kError, "ICE02", "Component", components.Key(row),
           "the key path " + *key_path + " is no row of the " + table_name + " table"});
    } else if (owners.Text(*owner, "Component_") != component) {
      findings.push_back({Severity::kError, "ICE02", "Component", components.Key(row),
                          "the key path " + *key_path + " belongs to the component " +
                              owners.Text(*owner, "Component_")});
    }
  }
}

// ICE08: no two components share a component code.
void CheckComponentCodes(PackageTables& tables, Findings& findings) {
  const Table& components = tables.Get("Component");
  std::map<std::string, std::string> first_with_code;
  for (std::size_t row = 0; row < components.size(); ++row) {
    const auto& code = components.Field(row, "ComponentId");
    if (!code) continue;
    const auto [first, inserted] = first_with_code.emplace(*code, components.Key(row));
    if (!inserted) {
      findings.push_back({Severity::kError, "ICE08", "Component", components.Key(row),
                          "its component code " + *code + " is also that of " + first->second});
    }
  }
}

// ICE09: what lands in the system folder stays there, or removing it breaks other programs.
void CheckSystemFolder(PackageTables& tables, Findings& findings) {
  const Table& components = tables.Get("Component");
  const DirectoryTree tree(tables.Get("Directory"));
  for (std::size_t row = 0; row < components.size(); ++row) {
    if (tree.KindOf(components.Text(row, "Directory_")) == FolderKind::kSystem &&
        !HasBit(components, row, "Attributes", kComponentPermanent)) {
      findings.push_back({Severity::kWarning, "ICE09", "Component", components.Key(row),
                          "it installs into the system folder and is not permanent"});
    }
  }
}

// ICE18: a component without a key path stands for its folder, which a CreateFolder row must
// then create.
void CheckEmptyFolders(PackageTables& tables, Findings& findings) {
  const Table& components = tables.Get("Component");
  const Table& create_folders = tables.Get("CreateFolder");
  std::set<std::pair<std::string, std::string>> created;
  for (std::size_t row = 0; row < create_folders.size(); ++row) {
    created.emplace(create_folders.Text(row, "Directory_"), create_folders.Text(row, "Component_"));
  }
  for (std::size_t row = 0; row < components.size(); ++row) {
    if (components.Field(row, "KeyPath")) continue;
    const std::string folder = components.Text(row, "Directory_");
    if (!created.contains({folder, components.Text(row, "Component")})) {
      findings.push_back({Severity::kError, "ICE18", "Component", components.Key(row),
                          "it has no key path and no CreateFolder row for its folder " + folder});
    }
  }
}

// ICE21: every component belongs to a feature, or nothing installs it.
void CheckFeatureMembership(PackageTables& tables, Findings& findings) {
  const Table& components = tables.Get("Component");
  const Table& members = tables.Get("FeatureComponents");
  for (std::size_t row = 0; row < components.size(); ++row) {
    if (!members.Find("Component_", components.Text(row, "Component"))) {
      findings.push_back({Severity::kError, "ICE21", "Component", components.Key(row),
                          "it belongs to no feature"});
    }
  }
}

// ICE30: two File rows that land at one place (by long or by short name, letter case aside)
// overwrite each other, and uninstalling either removes both.
void CheckFileCollisions(PackageTables& tables, Findings& findings) {
  const Table& files = tables.Get("File");
  const Table& components = tables.Get("Component");
  const DirectoryTree tree(tables.Get("Directory"));
  std::map<std::string, std::string> first_at_place;
  for (std::size_t row = 0; row < files.size(); ++row) {
    const auto component = components.Find("Component", files.Text(row, "Component_"));
    if (!component) continue;
    const std::string folder = tree.TargetPath(components.Text(*component, "Directory_"));
    const std::string name = files.Text(row, "FileName");
    const std::string short_name = name.substr(0, name.find('|'));
    std::set<std::string> places = {folder + '\\' + LowerCase(LongName(name)),
                                    folder + '\\' + LowerCase(short_name)};
    for (const std::string& place : places) {
      const auto [first, inserted] = first_at_place.emplace(place, files.Key(row));
      if (!inserted && first->second != files.Key(row)) {
        findings.push_back({Severity::kError, "ICE30", "File", files.Key(row),
                            "it installs to " + place + " as the file " + first->second + " does"});
        break;
      }
    }
  }
}

// ICE59: an advertised shortcut's feature installs the shortcut's component.
void CheckAdvertisedShortcuts(PackageTables& tables, Findings& findings) {
  const Table& shortcuts = tables.Get("Shortcut");
  const Table& features = tables.Get("Feature");
  const Table& members = tables.Get("FeatureComponents");
  std::set<std::pair<std::string, std::string>> installs;
  for (std::size_t row = 0; row < members.size(); ++row) {
    installs.emplace(members.Text(row, "Feature_"), members.Text(row, "Component_"));
  }
  for (std::size_t row = 0; row < shortcuts.size(); ++row) {
    const std::string target = shortcuts.Text(row, "Target");
    if (!features.Find("Feature", target)) continue;
    if (!installs.contains({target, shortcuts.Text(row, "Component_")})) {
      findings.push_back({Severity::kError, "ICE59", "Shortcut", shortcuts.Key(row),
                          "its feature " + target + " does not install its component " +
                              shortcuts.Text(row, "Component_")});
    }
  }
}

bool IsProgramOrLibrary(std::string_view name) {
  const std::string lower = LowerCase(LongName(name));
  for (std::string_view extension : {".exe", ".dll", ".ocx", ".sys", ".drv", ".cpl", ".scr"}) {
    if (lower.size() > extension.size() && lower.ends_with(extension)) return true;
  }
  return false;
}

// A program or library without a version is replaced by date on repair and update, so an
// older copy can overwrite a newer one; the documentation's file versioning rules want one.
void CheckFileVersions(PackageTables& tables, Findings& findings) {
  const Table& files = tables.Get("File");
  for (std::size_t row = 0; row < files.size(); ++row) {
    if (IsProgramOrLibrary(files.Text(row, "FileName")) && !files.Field(row, "Version")) {
      findings.push_back({Severity::kWarning, "file-version", "File", files.Key(row),
                          "the program or library " +
                              std::string(LongName(files.Text(row, "FileName"))) +
                              " has no version"});
    }
  }
}

}  // namespace

void CheckComponents(PackageTables& tables, Findings& findings) {
  CheckKeyPaths(tables, findings);
  CheckComponentCodes(tables, findings);
  CheckSystemFolder(tables, findings);
  CheckEmptyFolders(tables, findings);
  CheckFeatureMembership(tables, findings);
  CheckFileCollisions(tables, findings);
  CheckAdvertisedShortcuts(tables, findings);
  CheckFileVersions(tables, findings);
}

}  // namespace kb::validation

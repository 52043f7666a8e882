#include <set>
#include <string>

#include "validation/directory_tree.h"
#include "validation/rules.h"

namespace kb::validation {
namespace {

// What one package says about its components and folders, read once for all the rules here.
struct ProfileView {
  const Table& components;
  const Table& registry;
  const DirectoryTree tree;

  bool InProfile(std::string_view directory) const {
    return tree.KindOf(directory) == FolderKind::kProfile;
  }
  bool ComponentInProfile(std::size_t component) const {
    return InProfile(components.Text(component, "Directory_"));
  }
  // Whether the component's key path is a registry value the user owns (HKCU, or the root
  // that is HKCU in a per-user install).
  bool HasUserKeyPath(std::size_t component) const {
    if ((components.Number(component, "Attributes").value_or(0) & kComponentRegistryKeyPath) == 0) {
      return false;
    }
    const auto value = registry.Find("Registry", components.Text(component, "KeyPath"));
    if (!value) return false;
    const auto root = registry.Number(*value, "Root");
    return root == kRootCurrentUser || root == kRootUserOrMachine;
  }
};

// ICE38: a component in the user's profile keeps its key path in HKCU, so that each user who
// installs the product gets it.
void CheckProfileComponents(const ProfileView& view, Findings& findings) {
  for (std::size_t row = 0; row < view.components.size(); ++row) {
    if (view.ComponentInProfile(row) && !view.HasUserKeyPath(row)) {
      findings.push_back({Severity::kError, "ICE38", "Component", view.components.Key(row),
                          "it installs into the user's profile; its key path must be a "
                          "registry value under HKCU"});
    }
  }
}

// ICE43: the same for the component of a shortcut that is not advertised and lands in the
// profile.
void CheckProfileShortcuts(PackageTables& tables, const ProfileView& view, Findings& findings) {
  const Table& shortcuts = tables.Get("Shortcut");
  const Table& features = tables.Get("Feature");
  for (std::size_t row = 0; row < shortcuts.size(); ++row) {
    if (features.Find("Feature", shortcuts.Text(row, "Target")) ||
        !view.InProfile(shortcuts.Text(row, "Directory_"))) {
      continue;
    }
    const auto component = view.components.Find("Component", shortcuts.Text(row, "Component_"));
    if (component && !view.HasUserKeyPath(*component)) {
      findings.push_back({Severity::kError, "ICE43", "Shortcut", shortcuts.Key(row),
                          "it is not advertised; its component " +
                              shortcuts.Text(row, "Component_") +
                              " must have a registry value under HKCU as key path"});
    }
  }
}

// ICE57: one component holds either the user's data or the machine's, never both, or a second
// user's install finds it present and leaves out that user's part.
void CheckMixedComponents(PackageTables& tables, const ProfileView& view, Findings& findings) {
  std::set<std::string> user_data;
  std::set<std::string> machine_data;
  for (std::size_t row = 0; row < view.registry.size(); ++row) {
    const auto root = view.registry.Number(row, "Root");
    const std::string component = view.registry.Text(row, "Component_");
    if (root == kRootCurrentUser) user_data.insert(component);
    if (root == kRootLocalMachine) machine_data.insert(component);
  }
  const Table& files = tables.Get("File");
  for (std::size_t row = 0; row < files.size(); ++row) {
    const auto component = view.components.Find("Component", files.Text(row, "Component_"));
    if (!component) continue;
    auto& kind = view.ComponentInProfile(*component) ? user_data : machine_data;
    kind.insert(files.Text(row, "Component_"));
  }
  for (std::size_t row = 0; row < view.components.size(); ++row) {
    const std::string component = view.components.Text(row, "Component");
    if (user_data.contains(component) && machine_data.contains(component)) {
      findings.push_back({Severity::kError, "ICE57", "Component", view.components.Key(row),
                          "it holds both per-user and per-machine data"});
    }
  }
}

// ICE64: a folder the package makes in the profile is removed by a RemoveFile row, or it stays
// behind in a roaming profile.
void CheckProfileFolders(PackageTables& tables, const ProfileView& view, Findings& findings) {
  const Table& directories = tables.Get("Directory");
  const Table& removals = tables.Get("RemoveFile");
  std::set<std::string> removed;
  for (std::size_t row = 0; row < removals.size(); ++row) {
    if (!removals.Field(row, "FileName")) removed.insert(removals.Text(row, "DirProperty"));
  }
  for (std::size_t row = 0; row < directories.size(); ++row) {
    const std::string directory = directories.Text(row, "Directory");
    if (!DirectoryTree::IsStandardFolder(directory) && view.InProfile(directory) &&
        !removed.contains(directory)) {
      findings.push_back({Severity::kError, "ICE64", "Directory", directories.Key(row),
                          "it is in the user's profile and no RemoveFile row removes it"});
    }
  }
}

// ICE91: a per-machine install puts files in the profile of the user who runs it only.
void CheckPerMachineProfileFiles(PackageTables& tables, const ProfileView& view,
                                 Findings& findings) {
  const Table& properties = tables.Get("Property");
  const auto all_users = properties.Find("Property", "ALLUSERS");
  if (!all_users || properties.Text(*all_users, "Value") != "1") return;
  const Table& files = tables.Get("File");
  for (std::size_t row = 0; row < files.size(); ++row) {
    const auto component = view.components.Find("Component", files.Text(row, "Component_"));
    if (component && view.ComponentInProfile(*component)) {
      findings.push_back({Severity::kWarning, "ICE91", "File", files.Key(row),
                          "the package installs for all users, but this file lands in the "
                          "profile of the user who installs it only"});
    }
  }
}

}  // namespace

void CheckProfileData(PackageTables& tables, Findings& findings) {
  const ProfileView view{tables.Get("Component"), tables.Get("Registry"),
                         DirectoryTree(tables.Get("Directory"))};
  CheckProfileComponents(view, findings);
  CheckProfileShortcuts(tables, view, findings);
  CheckMixedComponents(tables, view, findings);
  CheckProfileFolders(tables, view, findings);
  CheckPerMachineProfileFiles(tables, view, findings);
}

}  // namespace kb::validation

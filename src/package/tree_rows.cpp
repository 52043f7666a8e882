#include "package/tree_rows.h"

#include <algorithm>

#include "package/component_rows.h"

namespace kb {
namespace {

std::string RowOf(std::string_view table, const std::string& install_path) {
  return "Could not add the " + std::string(table) + " row of " + install_path + " to the package";
}

// The Directory row of `folder`, and when it is empty, the component that creates it: a
// component without a key path needs a CreateFolder row for its folder.
std::optional<std::string> AddFolderRows(CInstallerDatabase& database, const TreeFolder& folder,
                                         const std::string& default_dir, int component_attributes) {
  if (!database.Execute("insert into `Directory` (`Directory`,`Directory_Parent`,`DefaultDir`) "
                        "values(?,?,?)",
                        {folder.key, folder.parent, default_dir})) {
    return RowOf("Directory", folder.install_path);
  }
  if (!folder.empty) return std::nullopt;
  if (!database.Execute("insert into `Component` (`Component`,`ComponentId`,`Directory_`,"
                        "`Attributes`,`KeyPath`) values(?,?,?,?,NULL)",
                        {folder.key, "{" + folder.guid + "}", folder.key, component_attributes})) {
    return RowOf("Component", folder.install_path);
  }
  if (!database.Execute("insert into `CreateFolder` (`Directory_`,`Component_`) values(?,?)",
                        {folder.key, folder.key})) {
    return RowOf("CreateFolder", folder.install_path);
  }
  if (!AddToMainFeature(database, folder.key)) {
    return RowOf("FeatureComponents", folder.install_path);
  }
  return std::nullopt;
}

// A component of `tree` (every tree has one: a file's, or an empty folder's).
const std::string& AnyComponent(const FolderTree& tree) {
  if (!tree.files.empty()) return tree.files.front().key;
  return std::find_if(tree.folders.begin(), tree.folders.end(),
                      [](const TreeFolder& folder) { return folder.empty; })
      ->key;
}

// Rows that remove every folder of the tree on uninstall once it is empty, children before their
// parents: the installer removes the folders of files it removes, but not a folder that held
// only folders, nor the parents of folders removed later.
std::optional<std::string> AddFolderRemoval(CInstallerDatabase& database, const FolderTree& tree) {
  constexpr int kRemoveOnUninstall = 2;
  const std::string& component = AnyComponent(tree);
  for (auto folder = tree.folders.rbegin(); folder != tree.folders.rend(); ++folder) {
    if (!database.Execute("insert into `RemoveFile` (`FileKey`,`Component_`,`FileName`,"
                          "`DirProperty`,`InstallMode`) values(?,?,NULL,?,?)",
                          {folder->key, component, folder->key, kRemoveOnUninstall})) {
      return RowOf("RemoveFile", folder->install_path);
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> AddTreeRows(CInstallerDatabase& database, const FolderTree& tree,
                                       const std::string& top_name, int first_sequence,
                                       std::span<const std::uint32_t> sizes,
                                       int component_attributes) {
  for (std::size_t i = 0; i < tree.folders.size(); ++i) {
    const TreeFolder& folder = tree.folders[i];
    if (auto failure = AddFolderRows(database, folder, i == 0 ? top_name : folder.default_dir,
                                     component_attributes)) {
      return failure;
    }
  }
  for (std::size_t i = 0; i < tree.files.size(); ++i) {
    const TreeFile& file = tree.files[i];
    if (const auto table = AddFileComponent(
            database, {file.key, file.guid, file.directory, file.key, file.file_name, file.source,
                       sizes[i], first_sequence + static_cast<int>(i), component_attributes})) {
      return RowOf(*table, file.install_path);
    }
  }
  if (auto failure = AddFolderRemoval(database, tree)) return failure;
  database.CloseView();
  return std::nullopt;
}

}  // namespace kb

#ifndef KITBINDER_PACKAGE_TREE_ROWS_H_
#define KITBINDER_PACKAGE_TREE_ROWS_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "package/folder_tree.h"
#include "package/installer_database.h"

namespace kb {

// Adds the rows that install `tree` below the install folder: a Directory row per folder (the
// top named `top_name`, "SHORT~1|long name"), per file a component with the file as its key path
// and its File row, numbered from `first_sequence` and holding `sizes` bytes (in the tree's
// order), per empty folder a component with a CreateFolder row, every component in the main
// feature, each component with `component_attributes`; and RemoveFile rows that remove each
// folder on uninstall. Returns the failure's first
// line, naming the row and the path, or nullopt. REQUIRES: database.is_open(); sizes.size() ==
// tree.files.size().
[[nodiscard]] std::optional<std::string> AddTreeRows(
    CInstallerDatabase& database, const FolderTree& tree, const std::string& top_name,
    int first_sequence, std::span<const std::uint32_t> sizes, int component_attributes);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_TREE_ROWS_H_

#ifndef KITBINDER_PACKAGE_FOLDER_TREE_H_
#define KITBINDER_PACKAGE_FOLDER_TREE_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "package/project_problem.h"
#include "project/project_settings.h"

namespace kb {

// A row of the file list that names a folder installs the folder with everything in it as a
// subfolder of the same name in the install folder. Its files have no rows in the project file,
// so their keys and component GUIDs are derived from where they land (TreeComponentGuid): the
// same tree gives the same codes in every build.

// One folder of a tree: a Directory row, and a component of its own when it holds nothing, so
// that the installer creates it all the same (a CreateFolder row).
struct TreeFolder {
  std::string install_path;  // below the install folder, "\"-separated: "assets\img"
  std::string key;           // its Directory row
  std::string parent;        // the parent's Directory key; TARGETDIR for the tree's top
  std::string default_dir;   // "SHORT~1|long name"; for the top, set by the caller
  bool empty = false;        // holds neither files nor folders
  std::string guid;          // an empty folder's component GUID (its component key is `key`)
};

// One file of a tree: a component of its own with the file as its key path.
struct TreeFile {
  std::string source;        // where it is read; a link is read through to its target
  std::string install_path;  // below the install folder, "\"-separated: "assets\img\a.png"
  std::string directory;     // the key of its folder's Directory row
  std::string file_name;     // the File row's "SHORT~1.EXT|long name.ext"
  std::string key;           // its File and Component rows, and its name in the cabinet
  std::string guid;          // its component GUID text
};

// A folder row's tree, walked in sorted order (each folder's entries by name in byte order, a
// subfolder's contents at its place): the order of the files in the cabinet.
struct FolderTree {
  std::vector<TreeFolder> folders;  // the top first
  std::vector<TreeFile> files;
  std::optional<std::size_t> shortcut_target;  // the file of `files` the row's shortcut starts
};

// The trees of the rows of a file list that name folders, by their position in the list.
using FolderTrees = std::map<std::size_t, FolderTree>;

// The component GUID text of what is installed at `install_path` (below the install folder,
// "\"-separated): the version 5 GUID of the path lower-cased under a namespace of our own; a
// folder's path ends in "\". See TreeComponentGuid in the .cpp for the exact text hashed.
std::string TreeComponentGuid(std::string_view install_path);

// Reads the tree of every row of `settings` whose path (found in `project_folder`) is a folder.
// Appends to `problems` one per thing Windows could not install, each naming its path and its
// row (or, for too many files, the list as a whole): a
// link that loops or leads nowhere, a folder that cannot be read, a pipe or device, a name
// Windows cannot create, two names in one folder that differ only in letter case, a file larger
// than a cabinet holds, and a folder row with a shortcut
// whose target (`shortcuttarget`) is no file of its tree. The trees are whole only when no
// problem was added.
[[nodiscard]] FolderTrees ReadFolderTrees(const CProjectSettings& settings,
                                          const std::string& project_folder,
                                          std::vector<ProjectProblem>& problems);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_FOLDER_TREE_H_

#ifndef KITBINDER_VALIDATION_DIRECTORY_TREE_H_
#define KITBINDER_VALIDATION_DIRECTORY_TREE_H_

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "validation/package_tables.h"

namespace kb::validation {

// Where a directory lies, as the rules ask it.
enum class FolderKind {
  kOther,
  kProfile,   // under a folder of the user's profile (AppData, Start Menu, Desktop, ...)
  kSystem,    // the system folder itself
  kFolder32,  // under a folder only a 32-bit package should use (ProgramFilesFolder, ...)
  kFolder64,  // under a folder only a 64-bit package may use (ProgramFiles64Folder, ...)
};

// The Directory table as a tree: each directory's parent chain and target name.
class DirectoryTree {
 public:
  explicit DirectoryTree(const Table& directories);

  // The kind of the nearest standard folder at or above `directory` (kOther when none).
  FolderKind KindOf(std::string_view directory) const;
  // Whether `directory` is one of the standard folders the installer resolves itself.
  static bool IsStandardFolder(std::string_view directory);
  // The target path of `directory` from its root, its names lower-cased and joined by '\',
  // each standard folder standing for itself: two directories with one path install to one
  // place. A loop in the parents ends the path.
  std::string TargetPath(std::string_view directory) const;

 private:
  struct Entry {
    std::string parent;
    std::string name;  // the long target name; "." or empty for the parent itself
  };
  std::map<std::string, Entry, std::less<>> entries_;
};

// The long name of a "short|long" name (the whole text when it has no '|').
std::string_view LongName(std::string_view name);
std::string LowerCase(std::string_view text);

}  // namespace kb::validation

#endif  // KITBINDER_VALIDATION_DIRECTORY_TREE_H_

#include "package/folder_tree.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

#include "cabinet/builder/cabinet_builder.h"
#include "package/identifiers.h"
#include "package/windows_names.h"
#include "project/path_in_project.h"

namespace kb {
namespace {

// The namespace of the component GUIDs of tree files, {9F1C7104-EC7E-4037-9F53-0D4C6E268D4E}.
// Never change it: every GUID a package ever had for a tree file depends on it.
constexpr std::array<std::uint8_t, 16> kTreeNamespace = {
    0x9F, 0x1C, 0x71, 0x04, 0xEC, 0x7E, 0x40, 0x37, 0x9F, 0x53, 0x0D, 0x4C, 0x6E, 0x26, 0x8D, 0x4E};

std::string ErrorText(int error) {
  return std::generic_category().message(error);
}

// `path` (UTF-8) with the upper-case letters of Windows-1252, the code page of our packages,
// made lower case: A to Z, À to Þ but ×, Œ, Š, Ž and Ÿ. Other characters stay as they are.
std::string LowerCasePath(std::string_view path) {
  std::string lower;
  lower.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    const auto next = i + 1 < path.size() ? static_cast<unsigned char>(path[i + 1]) : 0;
    if (c >= 'A' && c <= 'Z') {
      lower += static_cast<char>(c - 'A' + 'a');
    } else if (c == 0xC3 && next >= 0x80 && next <= 0x9E && next != 0x97) {
      lower += {'\xC3', static_cast<char>(next + 0x20)};
      ++i;
    } else if (c == 0xC5 && (next == 0x92 || next == 0xA0 || next == 0xBD)) {
      lower += {'\xC5', static_cast<char>(next + 1)};
      ++i;
    } else if (c == 0xC5 && next == 0xB8) {
      lower += "\u00FF";
      ++i;
    } else {
      lower += static_cast<char>(c);
    }
  }
  return lower;
}

// A row key made from a GUID text: "_" and its 32 digits.
std::string KeyOf(std::string guid) {
  std::erase(guid, '-');
  return "_" + guid;
}

// The walk of one folder row's tree.
struct TreeWalk {
  std::vector<std::string>& problems;
  FolderTree tree;
  std::set<std::pair<dev_t, ino_t>> open_folders;  // the folders from the top to here
};

// Why the entry `shown` cannot be installed as its status `st` (or the `error` of reading it)
// shows, or nullopt.
std::optional<std::string> EntryProblem(const std::string& shown, int error,
                                        const struct stat& st) {
  if (error == ELOOP) return shown + " is a link that loops back on itself: remove the link";
  if (error == ENOENT) return shown + " is a link to nothing: remove it or restore its target";
  if (error != 0) {
    return shown + " cannot be read (" + ErrorText(error) + "): make it readable or remove it";
  }
  if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) {
    return shown + " is not a file but a pipe, socket or device: remove it from the folder";
  }
  if (S_ISREG(st.st_mode) &&
      static_cast<std::uint64_t>(st.st_size) > cabinet::CabinetBuilder::kMaxFileSize) {
    return shown + " holds " + std::to_string(st.st_size) + " bytes, more than the " +
           std::to_string(cabinet::CabinetBuilder::kMaxFileSize) +
           " a package can hold in one file: leave it out or split it";
  }
  return std::nullopt;
}

// The names in the folder `source`, sorted; nullopt when it cannot be read.
std::optional<std::vector<std::string>> FolderNames(const std::string& source, int* error) {
  std::error_code code;
  std::vector<std::string> names;
  for (std::filesystem::directory_iterator it(source, code), end; !code && it != end;
       it.increment(code)) {
    names.push_back(it->path().filename().string());
  }
  if (code) {
    *error = code.value();
    return std::nullopt;
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Refuses the names of one folder Windows cannot create or cannot tell apart.
void CheckNames(const std::string& shown, const std::vector<std::string>& names,
                std::vector<std::string>& problems) {
  std::map<std::string, const std::string*> keys;  // name key -> the first name
  for (const std::string& name : names) {
    if (const auto problem = WindowsNameProblem(name)) {
      problems.push_back("The name \"" + name + "\" of " + shown + "/" + name + " " + *problem +
                         ": rename it");
      continue;
    }
    const auto [first, added] = keys.emplace(WindowsNameKey(name), &name);
    if (!added) {
      problems.push_back(shown + "/" + *first->second + " and " + shown + "/" + name +
                         " differ only in letter case, and Windows takes them for one: rename "
                         "one of them");
    }
  }
}

void ReadFolder(TreeWalk& walk, const std::string& source, const std::string& shown,
                std::size_t folder_index) {
  int error = 0;
  const auto names = FolderNames(source, &error);
  if (!names) {
    walk.problems.push_back("The folder " + shown + " cannot be read (" + ErrorText(error) +
                            "): make it readable or remove it");
    return;
  }
  CheckNames(shown, *names, walk.problems);
  const std::vector<std::string> file_names = ShortLongNames(*names);
  const std::string folder_path = walk.tree.folders[folder_index].install_path;
  const std::string folder_key = walk.tree.folders[folder_index].key;
  walk.tree.folders[folder_index].empty = names->empty();
  for (std::size_t i = 0; i < names->size(); ++i) {
    const std::string entry_source = source + "/" + (*names)[i];
    const std::string entry_shown = shown + "/" + (*names)[i];
    const std::string install_path = folder_path + "\\" + (*names)[i];
    struct stat st {};
    const int stat_error = ::stat(entry_source.c_str(), &st) == 0 ? 0 : errno;
    if (const auto problem = EntryProblem(entry_shown, stat_error, st)) {
      walk.problems.push_back(*problem);
      continue;
    }
    if (S_ISREG(st.st_mode)) {
      std::string guid = TreeComponentGuid(install_path);
      walk.tree.files.push_back(
          {entry_source, install_path, folder_key, file_names[i], KeyOf(guid), std::move(guid)});
      continue;
    }
    if (!walk.open_folders.emplace(st.st_dev, st.st_ino).second) {
      walk.problems.push_back(entry_shown +
                              " leads back into a folder that holds it (a link loop): remove "
                              "the link");
      continue;
    }
    std::string guid = TreeComponentGuid(install_path + "\\");
    walk.tree.folders.push_back(
        {install_path, KeyOf(guid), folder_key, file_names[i], false, std::move(guid)});
    ReadFolder(walk, entry_source, entry_shown, walk.tree.folders.size() - 1);
    walk.open_folders.erase({st.st_dev, st.st_ino});
  }
}

// The tree of the folder row `shown`, found at `source`, whose status is `st`.
FolderTree ReadTree(const std::string& shown, const std::string& source, const struct stat& st,
                    std::vector<std::string>& problems) {
  TreeWalk walk{problems, {}, {{st.st_dev, st.st_ino}}};
  const std::string name = std::filesystem::path(source).filename().string();
  std::string guid = TreeComponentGuid(name + "\\");
  walk.tree.folders.push_back({name, KeyOf(guid), "TARGETDIR", {}, false, std::move(guid)});
  ReadFolder(walk, source, shown, 0);
  return std::move(walk.tree);
}

// Finds the file the shortcut of the folder row `row` starts; refuses a shortcut without one.
void FindShortcutTarget(const ProjectFileEntry& row, FolderTree& tree,
                        std::vector<std::string>& problems) {
  if (row.shortcutname.empty()) return;
  std::string install_path = tree.folders.front().install_path + "\\" + row.shortcuttarget;
  std::replace(install_path.begin(), install_path.end(), '/', '\\');
  const auto target = std::find_if(tree.files.begin(), tree.files.end(), [&](const TreeFile& f) {
    return f.install_path == install_path;
  });
  if (target != tree.files.end() && !row.shortcuttarget.empty()) {
    tree.shortcut_target = static_cast<std::size_t>(target - tree.files.begin());
    return;
  }
  problems.push_back(row.shortcuttarget.empty()
                         ? "The folder " + row.path +
                               " has a shortcut but no file it starts: choose one inside the "
                               "folder in its File Properties"
                         : "The shortcut target " + row.shortcuttarget + " of the folder " +
                               row.path + " is no file in it: choose another");
}

}  // namespace

// The text hashed is the UTF-8 of the install-relative path, lower-cased by LowerCasePath,
// folders separated by "\": "assets\img\logo.png" (a folder's ends in "\": "assets\empty\").
std::string TreeComponentGuid(std::string_view install_path) {
  return NameBasedGuidText(kTreeNamespace, LowerCasePath(install_path));
}

FolderTrees ReadFolderTrees(const CProjectSettings& settings, const std::string& project_folder,
                            std::vector<ProjectProblem>& problems) {
  FolderTrees trees;
  for (std::size_t i = 0; i < settings.files.size(); ++i) {
    const std::string& shown = settings.files[i].path;
    const std::string source = PathInProject(project_folder, shown);
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    std::vector<std::string> row_problems;
    FolderTree& tree = trees[i] = ReadTree(shown, source, st, row_problems);
    FindShortcutTarget(settings.files[i], tree, row_problems);
    for (std::string& problem : row_problems) {
      problems.push_back({ProjectField::kFiles, i, std::move(problem)});
    }
  }
  return trees;
}

}  // namespace kb

#include "validation/directory_tree.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace kb::validation {
namespace {

struct StandardFolder {
  std::string_view name;
  FolderKind kind;
};

// The folders Windows Installer resolves itself that the rules ask about. The per-user
// folders are those the documentation calls the user's profile.
constexpr std::array kStandardFolders = {
    StandardFolder{"AdminToolsFolder", FolderKind::kProfile},
    StandardFolder{"AppDataFolder", FolderKind::kProfile},
    StandardFolder{"DesktopFolder", FolderKind::kProfile},
    StandardFolder{"FavoritesFolder", FolderKind::kProfile},
    StandardFolder{"LocalAppDataFolder", FolderKind::kProfile},
    StandardFolder{"MyPicturesFolder", FolderKind::kProfile},
    StandardFolder{"NetHoodFolder", FolderKind::kProfile},
    StandardFolder{"PersonalFolder", FolderKind::kProfile},
    StandardFolder{"PrintHoodFolder", FolderKind::kProfile},
    StandardFolder{"ProgramMenuFolder", FolderKind::kProfile},
    StandardFolder{"RecentFolder", FolderKind::kProfile},
    StandardFolder{"SendToFolder", FolderKind::kProfile},
    StandardFolder{"StartMenuFolder", FolderKind::kProfile},
    StandardFolder{"StartupFolder", FolderKind::kProfile},
    StandardFolder{"TemplateFolder", FolderKind::kProfile},
    StandardFolder{"SystemFolder", FolderKind::kSystem},
    StandardFolder{"System64Folder", FolderKind::kSystem},
    StandardFolder{"System16Folder", FolderKind::kSystem},
    StandardFolder{"ProgramFilesFolder", FolderKind::kFolder32},
    StandardFolder{"CommonFilesFolder", FolderKind::kFolder32},
    StandardFolder{"ProgramFiles64Folder", FolderKind::kFolder64},
    StandardFolder{"CommonFiles64Folder", FolderKind::kFolder64},
    StandardFolder{"TARGETDIR", FolderKind::kOther},
    StandardFolder{"WindowsFolder", FolderKind::kOther},
    StandardFolder{"FontsFolder", FolderKind::kOther},
    StandardFolder{"TempFolder", FolderKind::kOther},
    StandardFolder{"CommonAppDataFolder", FolderKind::kOther},
    StandardFolder{"WindowsVolume", FolderKind::kOther},
};

const StandardFolder* FindStandardFolder(std::string_view directory) {
  const auto found = std::find_if(kStandardFolders.begin(), kStandardFolders.end(),
                                  [&](const StandardFolder& f) { return f.name == directory; });
  return found == kStandardFolders.end() ? nullptr : &*found;
}

// The target long name of a DefaultDir value: "[target][:source]", each "short|long".
std::string TargetName(std::string_view default_dir) {
  return std::string(LongName(default_dir.substr(0, default_dir.find(':'))));
}

}  // namespace

std::string_view LongName(std::string_view name) {
  const auto bar = name.find('|');
  return bar == std::string_view::npos ? name : name.substr(bar + 1);
}

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

DirectoryTree::DirectoryTree(const Table& directories) {
  for (std::size_t row = 0; row < directories.size(); ++row) {
    entries_[directories.Text(row, "Directory")] = Entry{
        directories.Text(row, "Directory_Parent"), TargetName(directories.Text(row, "DefaultDir"))};
  }
}

bool DirectoryTree::IsStandardFolder(std::string_view directory) {
  return FindStandardFolder(directory) != nullptr;
}

FolderKind DirectoryTree::KindOf(std::string_view directory) const {
  std::string current(directory);
  for (std::size_t steps = 0; steps <= entries_.size(); ++steps) {
    if (const StandardFolder* folder = FindStandardFolder(current)) {
      if (folder->kind != FolderKind::kOther) return folder->kind;
    }
    const auto entry = entries_.find(current);
    if (entry == entries_.end() || entry->second.parent.empty() ||
        entry->second.parent == current) {
      return FolderKind::kOther;
    }
    current = entry->second.parent;
  }
  return FolderKind::kOther;
}

std::string DirectoryTree::TargetPath(std::string_view directory) const {
  std::string path;
  std::string current(directory);
  for (std::size_t steps = 0; steps <= entries_.size(); ++steps) {
    const auto entry = entries_.find(current);
    if (IsStandardFolder(current) || entry == entries_.end()) {
      return LowerCase(current) + path;
    }
    if (!entry->second.name.empty() && entry->second.name != ".") {
      path = '\\' + LowerCase(entry->second.name) + path;
    }
    if (entry->second.parent.empty() || entry->second.parent == current) return path;
    current = entry->second.parent;
  }
  return path;
}

}  // namespace kb::validation

#ifndef KITBINDER_PROJECT_PROJECT_SETTINGS_H_
#define KITBINDER_PROJECT_PROJECT_SETTINGS_H_

#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "project/install_target.h"
#include "project/project_file_entry.h"
#include "project/project_icon_entry.h"
#include "project/property_override.h"

namespace kb {

// The whole project in memory: the product's properties, the files to install and the
// shortcut icons, and the path of the project file. It is the exchange format between the
// form, the project file (.kbr) and the package build, which reads the members directly and
// fills empty codes and keys in its own copy. Texts are UTF-8 and never interpreted (no GUID
// or path checks); texts compare byte for byte.
//
// The project file is a profile file with the sections "properties", "files" and "icons";
// the numbered keys of files and icons run from 0 without gaps.
class CProjectSettings {
 public:
  CProjectSettings() = default;
  CProjectSettings(const CProjectSettings&) = default;
  CProjectSettings& operator=(const CProjectSettings&) = default;
  CProjectSettings(CProjectSettings&&) = default;
  CProjectSettings& operator=(CProjectSettings&&) = default;
  virtual ~CProjectSettings() = default;

  // Assigns these eleven members; `language`, `files`, `icons` and `projectPath` stay.
  // Note the order: `comments` comes after `bannerfile`.
  void SetProperties(std::string_view title, std::string_view version, std::string_view productcode,
                     std::string_view packagecode, std::string_view upgradecode,
                     std::string_view author, std::string_view supporturl,
                     std::string_view eulafile, std::string_view bannerfile,
                     std::string_view comments, bool noquestions);

  // Appends a copy of `entry` to `files`, even when its path is listed already. Returns the
  // number of files now held.
  int AddFileEntry(const ProjectFileEntry& entry);

  // Appends an icon for `path` unless `path` is empty or held already (exact comparison, so
  // the same path in other letter case is a new icon). Returns the number of icons now held,
  // not the icon's position.
  int AddIcon(std::string_view path);

  int GetFileCount() const;

  // A copy of the entry at `index`; a default entry when `index` is outside [0, count).
  ProjectFileEntry GetFile(int index) const;

  // A copy of the first entry whose path equals `path` exactly; a default entry when none does.
  ProjectFileEntry FindFile(std::string_view path) const;

  // Removes every file and every icon; properties and `projectPath` stay. Returns true.
  bool Clear();

  // True when the eleven texts, `productcodeversion`, `noquestions`, the install scope, the
  // platform, the signing texts, the compression, `addtopath`, `externalcabinets` and the files
  // (all members, in order)
  // are equal. `icons` and `projectPath` take no part.
  bool IsEqual(const CProjectSettings& other) const;

  // Writes the project file. A non-empty `path` first becomes `projectPath`; an empty one means
  // the current `projectPath`. The new file is written whole beside the old one and then
  // replaces it, so a failed save leaves the old file as it was. Files with an empty path are
  // not written (they would end the list for a reader). Returns false when `projectPath` is
  // empty or the file cannot be written.
  [[nodiscard]] bool Save(std::string_view path);

  // Reads the project file, replacing every member but `projectPath`. A non-empty `path` first
  // becomes `projectPath`. A missing key reads as empty text, `language` included; a missing,
  // unreadable or foreign file reads as an empty project. Always returns true.
  bool Load(std::string_view path);
  // The same with `overrides` taking the place of the file's values of their keys, as if the
  // file held them. REQUIRES: each override's key is a property key (IsPropertyKey).
  bool Load(std::string_view path, std::span<const PropertyOverride> overrides);

  std::string title;
  std::string version;
  std::string productcode;
  std::string packagecode;
  std::string upgradecode;
  std::string author;
  std::string supporturl;
  std::string comments;
  std::string eulafile;
  std::string language = "en";
  std::string bannerfile;
  bool noquestions = false;
  // The `version` that `productcode` was made for; empty when unknown (a project from before
  // upgrades were built, or a product code typed in), and then the product code is kept as it
  // is. A build makes a new product code when this differs from `version`.
  std::string productcodeversion;
  // For whom and for which Windows the package installs. Stored only when not the default, so
  // a project that never chose them saves as before and older readers see nothing new.
  InstallScope installscope = InstallScope::kMachine;
  TargetPlatform platform = TargetPlatform::kX86;
  // The PKCS#12 file a build signs the package with (relative to the project's folder, or
  // absolute) and the time-stamp server the signature asks; empty for none. Stored only when
  // set. The certificate's password is never stored.
  std::string signcertificate;
  std::string timestampurl;
  // How the cabinet is compressed: "best" (also when empty), "normal", "fast", "none" or "lzx".
  // Stored only when set.
  std::string compression;
  // The install folder is appended to PATH on install and taken out on uninstall: the user's
  // PATH for a per-user install, the system's for a per-machine one. Stored only when set.
  bool addtopath = false;
  // The cabinets go beside the package as files that ship with it, even when the package could
  // embed them. Stored only when set.
  bool externalcabinets = false;
  std::vector<ProjectFileEntry> files;
  // Never holds an empty path, nor two entries with equal paths.
  std::vector<ProjectIconEntry> icons;
  std::string projectPath;

 private:
  // The paths in `icons`, so that AddIcon stays quick for projects of many thousand icons.
  // Rebuilt when `icons` was changed other than through AddIcon and Clear (seen by its size).
  std::unordered_set<std::string> icon_paths_;
};

}  // namespace kb

#endif  // KITBINDER_PROJECT_PROJECT_SETTINGS_H_

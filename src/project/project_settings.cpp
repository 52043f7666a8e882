#include "project/project_settings.h"

#include <algorithm>

#include "platform/file_name_from_path.h"
#include "project/text_properties.h"

namespace kb {

void CProjectSettings::SetProperties(std::string_view new_title, std::string_view new_version,
                                     std::string_view new_productcode,
                                     std::string_view new_packagecode,
                                     std::string_view new_upgradecode, std::string_view new_author,
                                     std::string_view new_supporturl, std::string_view new_eulafile,
                                     std::string_view new_bannerfile, std::string_view new_comments,
                                     bool new_noquestions) {
  title = new_title;
  version = new_version;
  productcode = new_productcode;
  packagecode = new_packagecode;
  upgradecode = new_upgradecode;
  author = new_author;
  supporturl = new_supporturl;
  eulafile = new_eulafile;
  bannerfile = new_bannerfile;
  comments = new_comments;
  noquestions = new_noquestions;
}

int CProjectSettings::AddFileEntry(const ProjectFileEntry& entry) {
  files.push_back(entry);
  return GetFileCount();
}

int CProjectSettings::AddIcon(std::string_view path) {
  if (icon_paths_.size() != icons.size()) {
    icon_paths_.clear();
    for (const ProjectIconEntry& icon : icons) icon_paths_.insert(icon.path);
  }
  if (!path.empty() && icon_paths_.emplace(path).second) {
    icons.push_back({std::string(path), std::string(platform::FileNameFromPath(path))});
  }
  return static_cast<int>(icons.size());
}

int CProjectSettings::GetFileCount() const {
  return static_cast<int>(files.size());
}

ProjectFileEntry CProjectSettings::GetFile(int index) const {
  return index >= 0 && index < GetFileCount() ? files[index] : ProjectFileEntry();
}

ProjectFileEntry CProjectSettings::FindFile(std::string_view path) const {
  const auto it = std::ranges::find(files, path, &ProjectFileEntry::path);
  return it == files.end() ? ProjectFileEntry() : *it;
}

bool CProjectSettings::Clear() {
  files.clear();
  icons.clear();
  icon_paths_.clear();
  return true;
}

bool CProjectSettings::IsEqual(const CProjectSettings& other) const {
  const bool texts_equal = std::ranges::all_of(
      kTextProperties, [&](const TextProperty& p) { return this->*p.member == other.*p.member; });
  return texts_equal && productcodeversion == other.productcodeversion &&
         noquestions == other.noquestions && installscope == other.installscope &&
         platform == other.platform && signcertificate == other.signcertificate &&
         timestampurl == other.timestampurl && compression == other.compression &&
         addtopath == other.addtopath && externalcabinets == other.externalcabinets &&
         files == other.files;
}

}  // namespace kb

#include "project/project_settings.h"

#include <algorithm>

#include "project/file_name_from_path.h"
#include "project/text_properties.h"

namespace kb {

void CProjectSettings::SetProperties(std::string_view title, std::string_view version,
                                     std::string_view productcode, std::string_view packagecode,
                                     std::string_view upgradecode, std::string_view author,
                                     std::string_view supporturl, std::string_view eulafile,
                                     std::string_view bannerfile, std::string_view comments,
                                     bool noquestions) {
  this->title = title;
  this->version = version;
  this->productcode = productcode;
  this->packagecode = packagecode;
  this->upgradecode = upgradecode;
  this->author = author;
  this->supporturl = supporturl;
  this->eulafile = eulafile;
  this->bannerfile = bannerfile;
  this->comments = comments;
  this->noquestions = noquestions;
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
    icons.push_back({std::string(path), FileNameFromPath(path)});
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
         noquestions == other.noquestions && files == other.files;
}

}  // namespace kb

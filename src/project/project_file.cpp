// CProjectSettings::Save and Load: the project file.
#include <algorithm>
#include <array>
#include <cctype>
#include <string>

#include "project/profile_reader.h"
#include "project/profile_writer.h"
#include "project/project_settings.h"
#include "project/text_properties.h"

namespace kb {
namespace {

constexpr std::string_view kProperties = "properties";
constexpr std::string_view kFiles = "files";
constexpr std::string_view kIcons = "icons";
constexpr std::string_view kProductCodeVersion = "productcodeversion";
constexpr std::string_view kInstallScope = "installscope";
constexpr std::string_view kPlatform = "platform";
constexpr std::string_view kSignCertificate = "signcertificate";
constexpr std::string_view kTimestampUrl = "timestampurl";
constexpr std::string_view kCompression = "compression";
constexpr std::string_view kAddToPath = "addtopath";
constexpr std::string_view kExternalCabinets = "externalcabinets";

// The texts of a file entry that are stored only when not empty, in the order they are written.
struct EntryText {
  std::string_view suffix;
  std::string ProjectFileEntry::*member;
};
constexpr std::array<EntryText, 8> kOptionalEntryTexts = {{
    {"shortcutname", &ProjectFileEntry::shortcutname},
    {"shortcuticon", &ProjectFileEntry::shortcuticon},
    {"id", &ProjectFileEntry::id},
    {"componentid", &ProjectFileEntry::componentid},
    {"componentguid", &ProjectFileEntry::componentguid},
    {"shortcuttarget", &ProjectFileEntry::shortcuttarget},
    {"extensions", &ProjectFileEntry::extensions},
    {"extensiondescription", &ProjectFileEntry::extensiondescription},
}};

std::string FileKey(int index, std::string_view suffix) {
  return "file" + std::to_string(index) + std::string(suffix);
}

std::string IconKey(int index) {
  return "icon" + std::to_string(index) + "path";
}

// Whether `text` is `lower` (a lower-case ASCII word) in any letter case.
bool EqualsIgnoringCase(std::string_view text, std::string_view lower) {
  return std::ranges::equal(
      text, lower, [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

bool IsTrueIgnoringCase(std::string_view value) {
  return EqualsIgnoringCase(value, "true");
}

void WriteProperties(const CProjectSettings& project, ProfileWriter& profile) {
  for (const TextProperty& property : kTextProperties) {
    profile.SetString(kProperties, property.key, project.*property.member);
  }
  profile.SetString(kProperties, "noquestions", project.noquestions ? "true" : "false");
  // Written only when known, so a project that never had it saves as before.
  if (!project.productcodeversion.empty()) {
    profile.SetString(kProperties, kProductCodeVersion, project.productcodeversion);
  }
  if (project.installscope != InstallScope::kMachine) {
    profile.SetString(kProperties, kInstallScope, InstallScopeText(project.installscope));
  }
  if (project.platform != TargetPlatform::kX86) {
    profile.SetString(kProperties, kPlatform, TargetPlatformText(project.platform));
  }
  if (!project.signcertificate.empty()) {
    profile.SetString(kProperties, kSignCertificate, project.signcertificate);
  }
  if (!project.timestampurl.empty()) {
    profile.SetString(kProperties, kTimestampUrl, project.timestampurl);
  }
  if (!project.compression.empty())
    profile.SetString(kProperties, kCompression, project.compression);
  if (project.addtopath) profile.SetString(kProperties, kAddToPath, "true");
  if (project.externalcabinets) profile.SetString(kProperties, kExternalCabinets, "true");
}

void WriteFileEntry(const ProjectFileEntry& entry, int index, ProfileWriter& profile) {
  profile.SetString(kFiles, FileKey(index, "path"), entry.path);
  for (const EntryText& text : kOptionalEntryTexts) {
    const std::string& value = entry.*text.member;
    if (!value.empty()) profile.SetString(kFiles, FileKey(index, text.suffix), value);
  }
  if (entry.setkdir) profile.SetString(kFiles, FileKey(index, "setkdir"), "true");
  if (entry.desktopshortcut) profile.SetString(kFiles, FileKey(index, "desktopshortcut"), "true");
  if (entry.launchonexit) profile.SetString(kFiles, FileKey(index, "launchonexit"), "true");
}

// An entry without a path would end the list for every reader, losing the entries after it,
// so such entries are left out and the others numbered without gaps.
void WriteFileEntries(const CProjectSettings& project, ProfileWriter& profile) {
  int index = 0;
  for (const ProjectFileEntry& entry : project.files) {
    if (!entry.path.empty()) WriteFileEntry(entry, index++, profile);
  }
}

void WriteIcons(const CProjectSettings& project, ProfileWriter& profile) {
  int index = 0;
  for (const ProjectIconEntry& icon : project.icons) {
    if (!icon.path.empty()) profile.SetString(kIcons, IconKey(index++), icon.path);
  }
}

void ReadProperties(const ProfileReader& profile, CProjectSettings& project) {
  for (const TextProperty& property : kTextProperties) {
    project.*property.member = profile.GetString(kProperties, property.key);
  }
  project.noquestions = IsTrueIgnoringCase(profile.GetString(kProperties, "noquestions"));
  project.productcodeversion = profile.GetString(kProperties, kProductCodeVersion);
  // A value this version does not know (a later one's) installs as the default would.
  project.installscope = InstallScopeFromText(profile.GetString(kProperties, kInstallScope))
                             .value_or(InstallScope::kMachine);
  project.platform = TargetPlatformFromText(profile.GetString(kProperties, kPlatform))
                         .value_or(TargetPlatform::kX86);
  project.signcertificate = profile.GetString(kProperties, kSignCertificate);
  project.timestampurl = profile.GetString(kProperties, kTimestampUrl);
  project.compression = profile.GetString(kProperties, kCompression);
  project.addtopath = IsTrueIgnoringCase(profile.GetString(kProperties, kAddToPath));
  project.externalcabinets = IsTrueIgnoringCase(profile.GetString(kProperties, kExternalCabinets));
}

// Reads entries 0, 1, ... up to the first missing or empty path.
void ReadFileEntries(const ProfileReader& profile, CProjectSettings& project) {
  for (int index = 0;; ++index) {
    ProjectFileEntry entry;
    entry.path = profile.GetString(kFiles, FileKey(index, "path"));
    if (entry.path.empty()) return;
    for (const EntryText& text : kOptionalEntryTexts) {
      entry.*text.member = profile.GetString(kFiles, FileKey(index, text.suffix));
    }
    entry.setkdir = profile.GetString(kFiles, FileKey(index, "setkdir")) == "true";
    entry.desktopshortcut = profile.GetString(kFiles, FileKey(index, "desktopshortcut")) == "true";
    entry.launchonexit = profile.GetString(kFiles, FileKey(index, "launchonexit")) == "true";
    project.AddFileEntry(entry);
  }
}

void ReadIcons(const ProfileReader& profile, CProjectSettings& project) {
  for (int index = 0;; ++index) {
    const std::string path = profile.GetString(kIcons, IconKey(index));
    if (path.empty()) return;
    project.AddIcon(path);
  }
}

}  // namespace

bool IsPropertyKey(std::string_view key) {
  const auto is = [&](std::string_view name) { return EqualsIgnoringCase(key, name); };
  return std::ranges::any_of(kTextProperties, [&](const TextProperty& p) { return is(p.key); }) ||
         is("noquestions") || is(kProductCodeVersion) || is(kInstallScope) || is(kPlatform) ||
         is(kSignCertificate) || is(kTimestampUrl) || is(kCompression) || is(kAddToPath) ||
         is(kExternalCabinets);
}

bool CProjectSettings::Save(std::string_view path) {
  if (!path.empty()) projectPath = path;
  if (projectPath.empty()) return false;
  ProfileWriter profile;
  WriteProperties(*this, profile);
  WriteFileEntries(*this, profile);
  WriteIcons(*this, profile);
  return profile.WriteTo(projectPath);
}

bool CProjectSettings::Load(std::string_view path) {
  return Load(path, {});
}

bool CProjectSettings::Load(std::string_view path, std::span<const PropertyOverride> overrides) {
  if (!path.empty()) projectPath = path;
  ProfileReader profile = ProfileReader::FromFile(projectPath);
  for (const PropertyOverride& given : overrides) profile.Set(kProperties, given.key, given.value);
  ReadProperties(profile, *this);
  Clear();
  ReadFileEntries(profile, *this);
  ReadIcons(profile, *this);
  return true;
}

}  // namespace kb

#include "package/install_target_rows.h"
#include "package/component_rows.h"

#include <array>
#include <cstdint>

#include "package/identifiers.h"

namespace kb {
namespace {

constexpr int kComponent64Bit = 256;
constexpr int kComponentRegistryKeyPath = 4;
constexpr int kElevationNotRequired = 8;  // the word count's bit for a per-user package
constexpr int kRemoveOnUninstall = 2;     // RemoveFile's install mode
// Registry roots: the user's hive, the machine's, and the installing scope's (the user's or the
// machine's).
constexpr int kRootCurrentUser = 1;
constexpr int kRootLocalMachine = 2;
constexpr int kRootOfScope = -1;
constexpr char kProfileComponent[] = "ProductFolders";
// The namespace of the folders component's name-based GUID (6E3B9A52-0D7C-4F21-9A84-
// 3C5E7B1D2F60): never to change, or upgrades would see a new component.
constexpr std::array<std::uint8_t, 16> kProductFoldersNamespace = {
    0x6E, 0x3B, 0x9A, 0x52, 0x0D, 0x7C, 0x4F, 0x21, 0x9A, 0x84, 0x3C, 0x5E, 0x7B, 0x1D, 0x2F, 0x60};

// The default product folder: the program folder of the platform, or the user's own.
std::string_view DefaultTargetDir(const CProjectSettings& settings) {
  if (settings.installscope == InstallScope::kUser) {
    return "[LocalAppDataFolder]Programs\\[TargetDirName]";
  }
  return settings.platform == TargetPlatform::kX64 ? "[ProgramFiles64Folder][TargetDirName]"
                                                   : "[ProgramFilesFolder][TargetDirName]";
}

// The summary's template text with its platform made `platform`: "Intel;1033" becomes
// "x64;1033". The languages after the ";" stay.
std::string TemplateText(std::string_view current, TargetPlatform platform) {
  const std::size_t separator = current.find(';');
  const std::string_view languages =
      separator == std::string_view::npos ? std::string_view() : current.substr(separator);
  return std::string(platform == TargetPlatform::kX64 ? "x64" : "Intel") + std::string(languages);
}

bool ReadSummaryText(MSIHANDLE summary, UINT property, std::string& text) {
  std::array<char, 256> buffer{};
  DWORD size = buffer.size();
  UINT type = 0;
  INT number = 0;
  if (MsiSummaryInfoGetPropertyA(summary, property, &type, &number, nullptr, buffer.data(),
                                 &size) != ERROR_SUCCESS) {
    return false;
  }
  text.assign(buffer.data(), size);
  return true;
}

bool ReadSummaryNumber(MSIHANDLE summary, UINT property, INT& number) {
  UINT type = 0;
  DWORD size = 0;
  return MsiSummaryInfoGetPropertyA(summary, property, &type, &number, nullptr, nullptr, &size) ==
         ERROR_SUCCESS;
}

}  // namespace

int ScopeRegistryRoot(const CProjectSettings& settings) {
  switch (settings.installscope) {
    case InstallScope::kUser:
      return kRootCurrentUser;
    case InstallScope::kMachine:
      return kRootLocalMachine;
    case InstallScope::kBoth:
      break;
  }
  return kRootOfScope;
}

int PlatformComponentAttributes(const CProjectSettings& settings) {
  return settings.platform == TargetPlatform::kX64 ? kComponent64Bit : 0;
}

bool WriteInstallTargetSummary(MSIHANDLE summary, const CProjectSettings& settings) {
  std::string template_text;
  INT word_count = 0;
  if (!ReadSummaryText(summary, PID_TEMPLATE, template_text) ||
      !ReadSummaryNumber(summary, PID_WORDCOUNT, word_count)) {
    return false;
  }
  const std::string platform_text = TemplateText(template_text, settings.platform);
  word_count &= ~kElevationNotRequired;
  if (settings.installscope == InstallScope::kUser) word_count |= kElevationNotRequired;
  return MsiSummaryInfoSetPropertyA(summary, PID_TEMPLATE, VT_LPSTR, 0, nullptr,
                                    platform_text.c_str()) == ERROR_SUCCESS &&
         MsiSummaryInfoSetPropertyA(summary, PID_WORDCOUNT, VT_I4, word_count, nullptr, nullptr) ==
             ERROR_SUCCESS;
}

std::optional<std::string> SetInstallTarget(CInstallerDatabase& database,
                                            const CProjectSettings& settings) {
  if (!database.Execute("update `CustomAction` set `Target`=? where `Action`='SetTargetDir'",
                        {DefaultTargetDir(settings)})) {
    return "the custom action SetTargetDir";
  }
  // The folder dialog of a dual-purpose package knows the program folder for all users by
  // Windows' own name for it; a 64-bit product's is the same on every 64-bit Windows.
  if (settings.platform == TargetPlatform::kX64 &&
      !database.Execute("update `CustomAction` set `Target`=? where `Action`='SetMachineFolder' "
                        "or `Action`='SetMachineFolder32On64'",
                        {"[%ProgramW6432]\\[TargetDirName]\\"})) {
    return "the custom actions SetMachineFolder";
  }
  bool set = true;
  switch (settings.installscope) {
    case InstallScope::kMachine:
      break;
    case InstallScope::kUser:
      set = database.Execute("delete from `Property` where `Property`='ALLUSERS'");
      break;
    case InstallScope::kBoth:
      set = database.Execute("update `Property` set `Value`='2' where `Property`='ALLUSERS'") &&
            database.Execute(
                "insert into `Property` (`Property`,`Value`) values "
                "('MSIINSTALLPERUSER','1')") &&
            database.Execute(
                "update `Property` set `Value`='1' where "
                "`Property`='OfferInstallScope'");
      break;
  }
  database.CloseView();
  if (!set) return "the properties ALLUSERS, MSIINSTALLPERUSER and OfferInstallScope";
  database.Commit();
  return std::nullopt;
}

std::optional<std::string> AddProfileFolderRows(CInstallerDatabase& database,
                                                const CProjectSettings& settings,
                                                const std::string& menu_folder_key) {
  // The scope's own hive; a dual-purpose package knows its scope only when it installs.
  const int root = ScopeRegistryRoot(settings);
  if (!database.Execute(
          "insert into `Component` (`Component`,`ComponentId`,`Directory_`,"
          "`Attributes`,`KeyPath`) values(?,?,'TARGETDIR',?,?)",
          // The same GUID in every build of the product, so that repairs and upgrades see the
          // same component.
          {kProfileComponent,
           "{" + NameBasedGuidText(kProductFoldersNamespace, settings.upgradecode) + "}",
           kComponentRegistryKeyPath | PlatformComponentAttributes(settings), kProfileComponent})) {
    return "Component";
  }
  if (!database.Execute("insert into `Registry` (`Registry`,`Root`,`Key`,`Name`,`Value`,"
                        "`Component_`) values(?,?,'Software\\[Manufacturer]\\[ProductName]',"
                        "'InstallFolder','[TARGETDIR]',?)",
                        {kProfileComponent, root, kProfileComponent})) {
    return "Registry";
  }
  const std::array<std::pair<std::string_view, std::string_view>, 2> folders = {{
      {"RemoveProductFolder", "TARGETDIR"},
      {"RemoveMenuFolder", menu_folder_key},
  }};
  for (const auto& [key, folder] : folders) {
    if (!database.Execute("insert into `RemoveFile` (`FileKey`,`Component_`,`DirProperty`,"
                          "`InstallMode`) values(?,?,?,?)",
                          {key, kProfileComponent, folder, kRemoveOnUninstall})) {
      return "RemoveFile";
    }
  }
  if (!AddToMainFeature(database, kProfileComponent)) {
    return "FeatureComponents";
  }
  database.CloseView();
  return std::nullopt;
}

void ExpectProfileFolderRows(ExpectedPackage& expected) {
  ++expected.added_rows["Component"];
  ++expected.added_rows["FeatureComponents"];
}

}  // namespace kb

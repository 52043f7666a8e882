#include "package/file_type_rows.h"
#include "package/component_rows.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <filesystem>

#include "package/identifiers.h"
#include "package/install_target_rows.h"
#include "package/shortcut_names.h"
#include "platform/file_name_from_path.h"

namespace kb {
namespace {

constexpr int kComponentRegistryKeyPath = 4;
constexpr int kRootClassesRoot = 0;  // RegLocator's root for HKEY_CLASSES_ROOT
constexpr int kRegLocatorRaw = 2;
constexpr int kRegLocator64Bit = 16;  // a 64-bit product looks in the 64-bit view
constexpr std::size_t kMaxProgIdLength = 39;
constexpr std::size_t kMaxExtensionLength = 31;  // the "." and 30 characters
// The namespace of the extension components' name-based GUIDs (3D8A61F4-72C9-4B0E-A5D3-
// 6E19F0C84B27): never to change, or upgrades would see new components.
constexpr std::array<std::uint8_t, 16> kFileTypeNamespace = {
    0x3D, 0x8A, 0x61, 0xF4, 0x72, 0xC9, 0x4B, 0x0E, 0xA5, 0xD3, 0x6E, 0x19, 0xF0, 0xC8, 0x4B, 0x27};

bool IsExtensionCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
}

std::string LettersAndDigits(std::string_view text) {
  std::string kept;
  std::ranges::copy_if(text, std::back_inserter(kept),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
  return kept;
}

// Where the installer keeps the product's icons: the machine's folder or the user's, as the
// scope is; for a dual-purpose package the property IconFolder, which the build sets as the
// installation's scope turns out (AddIconFolderActions).
std::string IconFolder(InstallScope scope) {
  switch (scope) {
    case InstallScope::kMachine:
      return "[WindowsFolder]Installer\\[ProductCode]\\";
    case InstallScope::kUser:
      return "[AppDataFolder]Microsoft\\Installer\\[ProductCode]\\";
    case InstallScope::kBoth:
      break;
  }
  return "[IconFolder]";
}

// The custom actions that set IconFolder for a dual-purpose package, once per package.
bool AddIconFolderActions(CInstallerDatabase& database) {
  constexpr int kSetProperty = 51;
  constexpr std::array<std::array<std::string_view, 3>, 2> actions = {{
      {"SetIconFolderMachine", "[WindowsFolder]Installer\\[ProductCode]\\", "ALLUSERS"},
      {"SetIconFolderUser", "[AppDataFolder]Microsoft\\Installer\\[ProductCode]\\", "NOT ALLUSERS"},
  }};
  if (database.Execute("select `Action` from `CustomAction` where `Action`='SetIconFolderUser'") &&
      database.Fetch()) {
    database.CloseView();
    return true;
  }
  for (const auto& [action, folder, condition] : actions) {
    if (!database.Execute("insert into `CustomAction` (`Action`,`Type`,`Source`,`Target`) "
                          "values(?,?,'IconFolder',?)",
                          {action, kSetProperty, folder}) ||
        !database.Execute("insert into `InstallExecuteSequence` (`Action`,`Condition`,"
                          "`Sequence`) values(?,?,1001)",
                          {action, condition})) {
      return false;
    }
  }
  return true;
}

struct RegistryValue {
  std::string key;
  std::string name;  // empty for the key's default value
  std::string value;
};

// A value in the hive of the installation's scope (root -1: the user's for a per-user
// installation, the machine's otherwise), which is where Windows looks for the user's or
// everyone's document types.
bool AddRegistryValue(CInstallerDatabase& database, const std::string& row,
                      const RegistryValue& value, const std::string& component) {
  constexpr int kRootOfScope = -1;
  return database.Execute(
      "insert into `Registry` (`Registry`,`Root`,`Key`,`Name`,`Value`,`Component_`) "
      "values(?,?,?,?,?,?)",
      {row, kRootOfScope, value.key, value.name, value.value, component});
}

// The component holding extension `extension`'s default value, installed only while no other
// program's identifier holds it; `tag` tells the extension's rows from the others'.
std::optional<std::string> AddExtensionDefault(CInstallerDatabase& database,
                                               const CProjectSettings& settings,
                                               const std::string& prog_id,
                                               const std::string& extension,
                                               const std::string& tag) {
  const std::string component = "FileType" + tag;
  // Public (upper case), so that the installation's server side searches too.
  const std::string upper_owner = "FILETYPEOWNER" + tag;
  if (!database.Execute(
          "insert into `RegLocator` (`Signature_`,`Root`,`Key`,`Type`) "
          "values(?,?,?,?)",
          {component, kRootClassesRoot, extension,
           kRegLocatorRaw | (settings.platform == TargetPlatform::kX64 ? kRegLocator64Bit : 0)}) ||
      !database.Execute("insert into `AppSearch` (`Property`,`Signature_`) values(?,?)",
                        {upper_owner, component})) {
    return "AppSearch";
  }
  const std::string condition =
      "NOT " + upper_owner + " OR " + upper_owner + "=\"" + prog_id + "\"";
  if (!database.Execute(
          "insert into `Component` (`Component`,`ComponentId`,`Directory_`,`Attributes`,"
          "`Condition`,`KeyPath`) values(?,?,'TARGETDIR',?,?,?)",
          {component,
           "{" + NameBasedGuidText(kFileTypeNamespace, settings.upgradecode + component) + "}",
           kComponentRegistryKeyPath | PlatformComponentAttributes(settings), condition,
           component})) {
    return "Component";
  }
  if (!AddRegistryValue(database, component, {"Software\\Classes\\" + extension, "", prog_id},
                        component)) {
    return "Registry";
  }
  if (!AddToMainFeature(database, component)) {
    return "FeatureComponents";
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> SplitExtensions(std::string_view extensions) {
  std::vector<std::string> pieces;
  while (!extensions.empty()) {
    const std::size_t end = std::min(extensions.find(';'), extensions.size());
    std::string_view piece = extensions.substr(0, end);
    extensions.remove_prefix(std::min(end + 1, extensions.size()));
    while (!piece.empty() && std::isspace(static_cast<unsigned char>(piece.front())))
      piece.remove_prefix(1);
    while (!piece.empty() && std::isspace(static_cast<unsigned char>(piece.back())))
      piece.remove_suffix(1);
    if (!piece.empty()) pieces.emplace_back(piece);
  }
  return pieces;
}

std::optional<std::string> ExtensionProblem(std::string_view extension) {
  if (extension.size() < 2 || extension.front() != '.') return "does not start with \".\"";
  if (extension.size() > kMaxExtensionLength) return "is longer than 30 characters after the \".\"";
  if (!std::all_of(extension.begin() + 1, extension.end(), IsExtensionCharacter)) {
    return "holds a character other than letters, digits, \"-\" and \"_\"";
  }
  return std::nullopt;
}

std::string ProgIdOf(const CProjectSettings& settings, std::size_t index) {
  const std::string program =
      LettersAndDigits(std::filesystem::path(settings.files[index].path).stem().string());
  const std::string tail = "." + program.substr(0, 16) + "." + std::to_string(index + 1);
  std::string product = LettersAndDigits(settings.title);
  if (product.empty()) product = "Product";
  return product.substr(0, kMaxProgIdLength - tail.size()) + tail;
}

std::optional<std::string> AddFileTypeRows(CInstallerDatabase& database,
                                           const CProjectSettings& settings, std::size_t index,
                                           const std::string& file_key) {
  const ProjectFileEntry& entry = settings.files[index];
  const std::vector<std::string> extensions = SplitExtensions(entry.extensions);
  if (extensions.empty()) return std::nullopt;
  if (settings.installscope == InstallScope::kBoth && !AddIconFolderActions(database)) {
    return "CustomAction";
  }
  const std::string prog_id = ProgIdOf(settings, index);
  const std::string classes = "Software\\Classes\\" + prog_id;
  const std::string icon = entry.shortcuticon.empty()
                               ? "\"[#" + file_key + "]\",0"
                               : IconFolder(settings.installscope) +
                                     IconKey(platform::FileNameFromPath(entry.shortcuticon));
  const std::string description = entry.extensiondescription.empty() ? settings.title + " document"
                                                                     : entry.extensiondescription;
  std::vector<RegistryValue> values = {
      {classes, "", description},
      {classes + "\\DefaultIcon", "", icon},
      {classes + "\\shell\\open\\command", "", "\"[#" + file_key + "]\" \"%1\""},
  };
  for (const std::string& extension : extensions) {
    values.push_back({"Software\\Classes\\" + extension + "\\OpenWithProgids", prog_id, ""});
  }
  for (std::size_t n = 0; n < values.size(); ++n) {
    const std::string row = "FileType" + std::to_string(n) + "_" + entry.id;
    if (!AddRegistryValue(database, row, values[n], entry.componentid)) return "Registry";
  }
  for (std::size_t n = 0; n < extensions.size(); ++n) {
    const std::string tag = std::to_string(index + 1) + "_" + std::to_string(n + 1);
    if (auto table = AddExtensionDefault(database, settings, prog_id, extensions[n], tag)) {
      return table;
    }
  }
  database.CloseView();
  return std::nullopt;
}

void ExpectFileTypeRows(const CProjectSettings& settings, ExpectedPackage& expected) {
  for (const ProjectFileEntry& entry : settings.files) {
    const int extensions = static_cast<int>(SplitExtensions(entry.extensions).size());
    expected.added_rows["Component"] += extensions;
    expected.added_rows["FeatureComponents"] += extensions;
  }
}

}  // namespace kb

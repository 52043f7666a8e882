#include "package/path_rows.h"
#include "package/component_rows.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "package/identifiers.h"
#include "package/install_target_rows.h"

namespace kb {
namespace {

constexpr int kComponentRegistryKeyPath = 4;
// The namespace of the PATH components' name-based GUIDs (9F4C2E71-5B3A-4D86-8E1F-
// 2A7D6C0B3E95): never to change, or upgrades would see new components.
constexpr std::array<std::uint8_t, 16> kPathNamespace = {
    0x9F, 0x4C, 0x2E, 0x71, 0x5B, 0x3A, 0x4D, 0x86, 0x8E, 0x1F, 0x2A, 0x7D, 0x6C, 0x0B, 0x3E, 0x95};

// One way onto PATH: the component, the Environment row's name (with the installer's prefix:
// "=" set on install, "-" removed on uninstall, "*" the system's variable) and the condition
// under which it installs.
struct PathEntry {
  std::string_view component;
  std::string_view variable;
  std::string_view condition;
};
constexpr PathEntry kUserPath = {"PathForUser", "=-PATH", ""};
constexpr PathEntry kMachinePath = {"PathForMachine", "=-*PATH", ""};
// A dual-purpose package: the installer clears ALLUSERS when it installs for the user alone.
constexpr std::array<PathEntry, 2> kEitherPath = {{
    {"PathForMachine", "=-*PATH", "ALLUSERS"},
    {"PathForUser", "=-PATH", "NOT ALLUSERS"},
}};

std::span<const PathEntry> PathEntries(InstallScope scope) {
  switch (scope) {
    case InstallScope::kMachine:
      return {&kMachinePath, 1};
    case InstallScope::kUser:
      return {&kUserPath, 1};
    case InstallScope::kBoth:
      break;
  }
  return kEitherPath;
}

std::optional<std::string> AddPathEntry(CInstallerDatabase& database,
                                        const CProjectSettings& settings, const PathEntry& entry) {
  const std::string component(entry.component);
  if (!database.Execute(
          "insert into `Component` (`Component`,`ComponentId`,`Directory_`,`Attributes`,"
          "`Condition`,`KeyPath`) values(?,?,'TARGETDIR',?,?,?)",
          {component,
           "{" + NameBasedGuidText(kPathNamespace, settings.upgradecode + component) + "}",
           kComponentRegistryKeyPath | PlatformComponentAttributes(settings), entry.condition,
           component})) {
    return "Component";
  }
  if (!database.Execute("insert into `Registry` (`Registry`,`Root`,`Key`,`Name`,`Value`,"
                        "`Component_`) values(?,?,'Software\\[Manufacturer]\\[ProductName]',"
                        "'OnPath','[TARGETDIR]',?)",
                        {component, ScopeRegistryRoot(settings), component})) {
    return "Registry";
  }
  // "[~];" keeps what the variable held and appends the folder after it.
  if (!database.Execute("insert into `Environment` (`Environment`,`Name`,`Value`,`Component_`) "
                        "values(?,?,'[~];[TARGETDIR]',?)",
                        {component, entry.variable, component})) {
    return "Environment";
  }
  if (!AddToMainFeature(database, component)) {
    return "FeatureComponents";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> AddPathRows(CInstallerDatabase& database,
                                       const CProjectSettings& settings) {
  if (!settings.addtopath) return std::nullopt;
  for (const PathEntry& entry : PathEntries(settings.installscope)) {
    if (auto table = AddPathEntry(database, settings, entry)) return table;
  }
  database.CloseView();
  return std::nullopt;
}

void ExpectPathRows(const CProjectSettings& settings, ExpectedPackage& expected) {
  if (!settings.addtopath) return;
  const int components = static_cast<int>(PathEntries(settings.installscope).size());
  expected.added_rows["Component"] += components;
  expected.added_rows["FeatureComponents"] += components;
}

}  // namespace kb

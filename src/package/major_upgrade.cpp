#include "package/major_upgrade.h"

#include <charconv>
#include <vector>

namespace kb {
namespace {

// Upgrade attributes: migrate feature states, detect only, and the inclusive bounds.
constexpr int kMigrateFeatures = 0x1;
constexpr int kOnlyDetect = 0x2;
constexpr int kMinInclusive = 0x100;
constexpr int kMaxInclusive = 0x200;
// The largest value of the major, minor and build field the installer compares.
constexpr unsigned kFieldLimits[] = {255, 255, 65535};

std::vector<std::string_view> Fields(std::string_view version) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t dot = version.find('.', start);
    fields.push_back(version.substr(start, dot - start));
    if (dot == std::string_view::npos) return fields;
    start = dot + 1;
  }
}

// True when `field` is decimal digits alone with a value of at most `limit`.
bool IsNumberUpTo(std::string_view field, unsigned long limit) {
  unsigned long value = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  return !field.empty() && error == std::errc() && end == field.data() + field.size() &&
         value <= limit;
}

std::string PackageVersion(CInstallerDatabase& database) {
  std::string version;
  if (database.Execute("select `Value` from `Property` where `Property`='ProductVersion'") &&
      database.Fetch()) {
    version = database.GetString(1);
  }
  database.CloseView();
  return version;
}

}  // namespace

std::optional<std::string> ProductVersionProblem(std::string_view version) {
  if (version.empty()) return std::nullopt;
  const std::vector<std::string_view> fields = Fields(version);
  bool comparable = fields.size() <= 4;
  for (std::size_t i = 0; comparable && i < fields.size(); ++i) {
    comparable = IsNumberUpTo(fields[i], i < 3 ? kFieldLimits[i] : ~0ul);
  }
  if (comparable) return std::nullopt;
  return "The version \"" + std::string(version) +
         "\" is not one the installer can compare with an installed version: give it as "
         "major.minor.build, with major and minor at most 255 and build at most "
         "65535 (a fourth field is ignored), for example 1.2.30";
}

bool NeedsNewProductCode(const CProjectSettings& settings) {
  return settings.productcode.empty() ||
         (!settings.productcodeversion.empty() && settings.productcodeversion != settings.version);
}

bool WriteUpgradeRows(CInstallerDatabase& database, const std::string& upgrade_code,
                      const std::string& version) {
  const std::string bound = version.empty() ? PackageVersion(database) : version;
  const bool written =
      database.Execute("delete from `Upgrade`") &&
      database.Execute(
          "insert into `Upgrade` (`UpgradeCode`,`VersionMin`,`VersionMax`,`Attributes`,"
          "`ActionProperty`) values(?,'0.0.0',?,?,'PREVIOUSVERSIONSINSTALLED')",
          {upgrade_code, bound, kMigrateFeatures | kMinInclusive | kMaxInclusive}) &&
      database.Execute(
          "insert into `Upgrade` (`UpgradeCode`,`VersionMin`,`Attributes`,`ActionProperty`) "
          "values(?,?,?,'NEWERVERSIONDETECTED')",
          {upgrade_code, bound, kOnlyDetect});
  database.CloseView();
  return written;
}

}  // namespace kb

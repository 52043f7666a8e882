#include "package/component_rows.h"

#include <string>

#include "package/pe_version.h"

namespace kb {

bool AddToMainFeature(CInstallerDatabase& database, std::string_view component) {
  return database.Execute(
      "insert into `FeatureComponents` (`Feature_`,`Component_`) values('_MainFeature',?)",
      {component});
}

std::optional<std::string_view> AddFileComponent(CInstallerDatabase& database,
                                                 const FileComponent& file) {
  constexpr int kVitalFile = 512;
  if (!database.Execute("insert into `Component` (`Component`,`ComponentId`,`Directory_`,"
                        "`Attributes`,`KeyPath`) values(?,?,?,?,?)",
                        {file.component, "{" + std::string(file.guid) + "}", file.directory,
                         file.attributes, file.file})) {
    return "Component";
  }
  // The installer's file size column is a signed 32-bit number; the cabinet keeps a file far
  // below its limit (a package holds one cabinet of at most 600,000,000 bytes).
  const std::optional<PeVersion> pe = ReadPeVersion(std::string(file.source));
  const std::string version = pe ? pe->version : std::string();
  const std::string language = pe ? pe->language : std::string();
  if (!database.Execute("insert into `File` (`File`,`Component_`,`FileName`,`FileSize`,`Version`,"
                        "`Language`,`Attributes`,`Sequence`) values(?,?,?,?,?,?,?,?)",
                        {file.file, file.component, file.file_name, static_cast<int>(file.size),
                         version, language, kVitalFile, file.sequence})) {
    return "File";
  }
  if (!AddToMainFeature(database, file.component)) {
    return "FeatureComponents";
  }
  database.CloseView();
  return std::nullopt;
}

}  // namespace kb

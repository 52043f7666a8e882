#include "package/component_rows.h"

#include <string>

namespace kb {

std::optional<std::string_view> AddFileComponent(CInstallerDatabase& database,
                                                 const FileComponent& file) {
  constexpr int kVitalFile = 512;
  if (!database.Execute(
          "insert into `Component` (`Component`,`ComponentId`,`Directory_`,"
          "`Attributes`,`KeyPath`) values(?,?,?,0,?)",
          {file.component, "{" + std::string(file.guid) + "}", file.directory, file.file})) {
    return "Component";
  }
  // The installer's file size column is a signed 32-bit number; the cabinet keeps a file far
  // below its limit (a package holds one cabinet of at most 600,000,000 bytes).
  if (!database.Execute("insert into `File` (`File`,`Component_`,`FileName`,`FileSize`,`Version`,"
                        "`Language`,`Attributes`,`Sequence`) values(?,?,?,?,NULL,NULL,?,?)",
                        {file.file, file.component, file.file_name, static_cast<int>(file.size),
                         kVitalFile, file.sequence})) {
    return "File";
  }
  if (!database.Execute(
          "insert into `FeatureComponents` (`Feature_`,`Component_`) values('_MainFeature',?)",
          {file.component})) {
    return "FeatureComponents";
  }
  database.CloseView();
  return std::nullopt;
}

}  // namespace kb

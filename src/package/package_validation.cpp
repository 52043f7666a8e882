#include "package/package_validation.h"

#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "validation/validator.h"

namespace kb {

std::optional<std::string> CheckBuiltPackage(const std::string& path,
                                             std::vector<std::string>* warnings) {
  msi::ScopedHandle database;
  if (MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, database.Receive()) != ERROR_SUCCESS) {
    return "The package could not be opened to check it against the installer's rules: build "
           "again";
  }
  validation::PackageTables tables(std::move(database));
  std::string errors;
  for (const validation::Finding& finding : validation::ValidatePackage(tables)) {
    const std::string line = validation::FindingLine(finding);
    if (finding.severity == validation::Severity::kError) {
      errors += "\n" + line;
    } else {
      warnings->push_back(line);
    }
  }
  if (errors.empty()) return std::nullopt;
  return "The package breaks the installer's documented rules (kitbinder-cli validate shows "
         "them again):" +
         errors;
}

}  // namespace kb

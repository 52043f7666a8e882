#include <cstdio>
#include <string>

#include "cli/database_commands.h"
#include "cli/open_failure.h"
#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "validation/validator.h"

namespace kb::cli {

int RunValidate(std::span<const std::string_view> args) {
  if (args.size() != 1) return UsageError(kValidateCommand, "needs one package");
  const std::string path(args[0]);
  msi::ScopedHandle database;
  if (MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, database.Receive()) != ERROR_SUCCESS) {
    return UsageError(kValidateCommand, CannotOpen(path));
  }
  validation::PackageTables tables(std::move(database));
  const validation::Findings findings = validation::ValidatePackage(tables);
  std::size_t errors = 0;
  for (const validation::Finding& finding : findings) {
    std::printf("%s\n", validation::FindingLine(finding).c_str());
    if (finding.severity == validation::Severity::kError) ++errors;
  }
  std::printf("%s: %zu error%s, %zu warning%s\n", path.c_str(), errors, errors == 1 ? "" : "s",
              findings.size() - errors, findings.size() - errors == 1 ? "" : "s");
  return errors > 0 ? kExitFailed : kExitOk;
}

}  // namespace kb::cli

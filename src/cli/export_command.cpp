#include <cstdio>
#include <string>

#include "cli/database_commands.h"
#include "cli/open_failure.h"
#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "msi/db/database.h"
#include "msi/db/idt_archive.h"

namespace kb::cli {

int RunExport(std::span<const std::string_view> args) {
  if (args.size() < 2 || args.size() > 3) {
    return UsageError(kExportCommand, "needs a database, a table and at most a folder");
  }
  const std::string database_path(args[0]);
  const std::string table(args[1]);
  if (args.size() == 3) {
    msi::ScopedHandle database;
    if (MsiOpenDatabaseA(database_path.c_str(), MSIDBOPEN_READONLY, database.Receive()) !=
        ERROR_SUCCESS) {
      return UsageError(kExportCommand, CannotOpen(database_path));
    }
    const std::string dir(args[2]);
    const UINT error =
        MsiDatabaseExportA(database.get(), table.c_str(), dir.c_str(), (table + ".idt").c_str());
    if (error == ERROR_SUCCESS) return kExitOk;
    std::fprintf(stderr, "kitbinder-cli: cannot export %s (error %u)\n", table.c_str(), error);
    return error == ERROR_BAD_PATHNAME ? kExitUsage : kExitFailed;
  }
  // Printing needs the archive text itself, which the C interface only writes to files.
  std::shared_ptr<msi::Database> database;
  if (msi::Database::Open(database_path, msi::Database::OpenMode::kReadOnly, &database) !=
      msi::kSuccess) {
    return UsageError(kExportCommand, CannotOpen(database_path));
  }
  const auto text = msi::RenderArchive(*database, table, nullptr);
  if (!text) {
    std::fprintf(stderr, "kitbinder-cli: cannot export %s\n", table.c_str());
    return kExitFailed;
  }
  std::fwrite(text->data(), 1, text->size(), stdout);
  return kExitOk;
}

}  // namespace kb::cli

#include <cstdio>
#include <string>

#include "cli/database_commands.h"
#include "cli/open_failure.h"
#include "msi/db/database.h"
#include "msi/db/idt_archive.h"

namespace kb::cli {
namespace {

// "cannot export TABLE", with the engine's reason when it gives one.
void PrintExportFailure(const msi::Database& database, const std::string& table) {
  const std::string& reason = database.last_refusal();
  std::fprintf(stderr, "kitbinder-cli: cannot export %s%s%s\n", table.c_str(),
               reason.empty() ? "" : ": ", reason.c_str());
}

}  // namespace

// Works on the engine itself rather than through the C interface: printing needs the archive
// text, which msi.dll's interface only writes to files, and a failure's reason.
int RunExport(std::span<const std::string_view> args) {
  if (args.size() < 2 || args.size() > 3) {
    return UsageError(kExportCommand, "needs a database, a table and at most a folder");
  }
  const std::string database_path(args[0]);
  const std::string table(args[1]);
  std::shared_ptr<msi::Database> database;
  if (msi::Database::Open(database_path, msi::Database::OpenMode::kReadOnly, &database) !=
      msi::kSuccess) {
    return UsageError(kExportCommand, CannotOpen(database_path));
  }
  if (args.size() == 3) {
    const std::string dir(args[2]);
    const msi::ErrorCode error = msi::ExportArchive(*database, table, dir, table + ".idt");
    if (error == msi::kSuccess) return kExitOk;
    PrintExportFailure(*database, table);
    return error == msi::kBadPathname ? kExitUsage : kExitFailed;
  }
  const auto text = msi::RenderArchive(*database, table, nullptr);
  if (!text) {
    PrintExportFailure(*database, table);
    return kExitFailed;
  }
  std::fwrite(text->data(), 1, text->size(), stdout);
  return kExitOk;
}

}  // namespace kb::cli

#include "cli/open_failure.h"

#include <memory>

#include "msi/db/database.h"

namespace kb::cli {

std::string CannotOpen(const std::string& path) {
  // The installer interface answers with a code alone; the engine's own call says why.
  std::shared_ptr<msi::Database> database;
  std::string reason;
  // The caller already knows the open fails; only the reason is wanted here.
  (void)msi::Database::Open(path, msi::Database::OpenMode::kReadOnly, &database, &reason);
  return "cannot open " + path + (reason.empty() ? "" : ": " + reason);
}

}  // namespace kb::cli

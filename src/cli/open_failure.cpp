#include "cli/open_failure.h"

#include <unistd.h>

#include <cerrno>
#include <memory>

#include "msi/api/msi_interface.h"
#include "msi/api/record_text.h"
#include "msi/api/scoped_handle.h"
#include "msi/db/database.h"
#include "platform/regular_file.h"

namespace kb::cli {
namespace {

std::string Reason(const std::string& path, bool for_writing) {
  std::string problem;
  if (!platform::OpenRegularFile(path, &problem).valid()) {
    return errno == ENOENT ? "no such file" : "it " + problem;
  }
  if (for_writing && ::access(path.c_str(), W_OK) != 0) return "it is read-only";
  // The installer interface answers with a code alone; the engine's own call says why.
  std::shared_ptr<msi::Database> database;
  std::string reason;
  // The caller already knows the open fails; only the reason is wanted here.
  (void)msi::Database::Open(path, msi::Database::OpenMode::kReadOnly, &database, &reason);
  if (!reason.empty()) return reason;
  return "it is not an installer database, or it is damaged";
}

}  // namespace

std::string CannotOpen(const std::string& path, bool for_writing) {
  return "cannot open " + path + ": " + Reason(path, for_writing);
}

std::string EngineReason() {
  const msi::ScopedHandle why(MsiGetLastErrorRecord());
  return why.get() != 0 ? ": " + msi::RecordText(why.get(), 0) : std::string();
}

}  // namespace kb::cli

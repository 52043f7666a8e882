#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/database_commands.h"
#include "cli/open_failure.h"
#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "platform/regular_file.h"

namespace kb::cli {
namespace {

// The archive files of `dir`, `_ForceCodepage.idt` first since it decides how the others'
// text is stored, then by name; nullopt with *error set when the folder cannot be listed.
std::optional<std::vector<std::string>> ArchivesIn(const std::filesystem::path& dir,
                                                   std::error_code& error) {
  std::vector<std::string> files;
  for (std::filesystem::directory_iterator entry(dir, error), end; !error && entry != end;
       entry.increment(error)) {
    std::error_code unreadable_entry;  // such an entry is simply not an archive
    if (entry->is_regular_file(unreadable_entry) && entry->path().extension() == ".idt") {
      files.push_back(entry->path().filename().string());
    }
  }
  if (error) return std::nullopt;
  std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
    const bool a_first = a == "_ForceCodepage.idt";
    const bool b_first = b == "_ForceCodepage.idt";
    return a_first != b_first ? a_first : a < b;
  });
  return files;
}

}  // namespace

int RunImport(std::span<const std::string_view> args) {
  if (args.size() < 2) return UsageError(kImportCommand, "needs a database and a folder");
  const std::string database_path(args[0]);
  const std::filesystem::path dir(args[1]);
  std::error_code error;
  if (!std::filesystem::is_directory(dir, error)) {
    return UsageError(kImportCommand, "no such folder: " + dir.string());
  }
  std::vector<std::string> files(args.begin() + 2, args.end());
  if (files.empty()) {
    auto listed = ArchivesIn(dir, error);
    if (!listed) {
      std::fprintf(stderr, "kitbinder-cli: cannot list the folder %s (%s)\n", dir.c_str(),
                   error.message().c_str());
      return kExitUsage;
    }
    files = std::move(*listed);
  }
  const bool exists = std::filesystem::exists(database_path, error);
  msi::ScopedHandle database;
  const UINT opened = MsiOpenDatabaseA(
      database_path.c_str(), exists ? MSIDBOPEN_TRANSACT : MSIDBOPEN_CREATE, database.Receive());
  if (opened != ERROR_SUCCESS) {
    const std::string message =
        exists ? CannotOpen(database_path, true) : "cannot create " + database_path;
    std::fprintf(stderr, "kitbinder-cli: %s (error %u)\n", message.c_str(), opened);
    return kExitUsage;
  }
  for (const std::string& file : files) {
    // msi.dll answers an unreadable archive as any other failure; here it is unreadable input.
    std::string problem;
    if (!platform::OpenRegularFile((dir / file).string(), &problem).valid()) {
      std::fprintf(stderr, "kitbinder-cli: cannot import %s: it %s\n", file.c_str(),
                   problem.c_str());
      return kExitUsage;
    }
    const UINT imported = MsiDatabaseImportA(database.get(), dir.string().c_str(), file.c_str());
    if (imported != ERROR_SUCCESS) {
      std::fprintf(stderr, "kitbinder-cli: cannot import %s (error %u)%s\n", file.c_str(), imported,
                   EngineReason().c_str());
      return kExitFailed;
    }
  }
  const UINT committed = MsiDatabaseCommit(database.get());
  if (committed != ERROR_SUCCESS) {
    std::fprintf(stderr, "kitbinder-cli: cannot write %s (error %u)\n", database_path.c_str(),
                 committed);
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace kb::cli

#include <array>
#include <cstdio>
#include <string>

#include "cli/database_commands.h"
#include "cli/open_failure.h"
#include "msi/api/msi_interface.h"
#include "msi/api/record_text.h"
#include "msi/api/scoped_handle.h"
#include "msi/db/summary_information.h"

namespace kb::cli {
namespace {

bool OpenReadOnly(const CliCommand& command, std::span<const std::string_view> args,
                  msi::ScopedHandle& database, int& exit_code) {
  if (args.size() != 1) {
    exit_code = UsageError(command, "needs one database");
    return false;
  }
  const std::string path(args[0]);
  if (MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, database.Receive()) != ERROR_SUCCESS) {
    exit_code = UsageError(command, CannotOpen(path));
    return false;
  }
  return true;
}

// Prints field 1 of every row of `sql`.
int PrintNames(const CliCommand& command, std::span<const std::string_view> args, const char* sql) {
  msi::ScopedHandle database;
  int exit_code = kExitOk;
  if (!OpenReadOnly(command, args, database, exit_code)) return exit_code;
  msi::ScopedHandle view;
  msi::ScopedHandle record;
  if (MsiDatabaseOpenViewA(database.get(), sql, view.Receive()) != ERROR_SUCCESS ||
      MsiViewExecute(view.get(), 0) != ERROR_SUCCESS) {
    std::fprintf(stderr, "kitbinder-cli: cannot list %s\n", std::string(args[0]).c_str());
    return kExitFailed;
  }
  while (MsiViewFetch(view.get(), record.Receive()) == ERROR_SUCCESS) {
    std::printf("%s\n", msi::RecordText(record.get(), 1).c_str());
  }
  return kExitOk;
}

constexpr std::array<const char*, 20> kPropertyNames = {
    "",          "Codepage",     "Title",     "Subject",     "Author",
    "Keywords",  "Comments",     "Template",  "Last author", "Revision number",
    "Edit time", "Last printed", "Created",   "Last saved",  "Pages",
    "Words",     "Characters",   "Thumbnail", "Application", "Security"};

std::string TimeText(const FILETIME& time) {
  return msi::SummaryInformation::FormatArchiveValue(
      msi::FileTime{time.dwLowDateTime | std::uint64_t{time.dwHighDateTime} << 32});
}

}  // namespace

int RunTables(std::span<const std::string_view> args) {
  return PrintNames(kTablesCommand, args, "SELECT `Name` FROM `_Tables`");
}

int RunStreams(std::span<const std::string_view> args) {
  return PrintNames(kStreamsCommand, args, "SELECT `Name` FROM `_Streams`");
}

int RunSummary(std::span<const std::string_view> args) {
  msi::ScopedHandle database;
  int exit_code = kExitOk;
  if (!OpenReadOnly(kSummaryCommand, args, database, exit_code)) return exit_code;
  msi::ScopedHandle summary;
  if (MsiGetSummaryInformationA(database.get(), nullptr, 0, summary.Receive()) != ERROR_SUCCESS) {
    std::fprintf(stderr, "kitbinder-cli: cannot read the summary information\n");
    return kExitFailed;
  }
  for (UINT id = 1; id < kPropertyNames.size(); ++id) {
    UINT type = VT_EMPTY;
    INT number = 0;
    FILETIME time{};
    DWORD size = 0;
    char empty[1] = {};
    MsiSummaryInfoGetPropertyA(summary.get(), id, &type, &number, &time, empty, &size);
    std::string text(size + 1, '\0');
    ++size;
    MsiSummaryInfoGetPropertyA(summary.get(), id, &type, &number, &time, text.data(), &size);
    text.resize(type == VT_LPSTR ? size : 0);
    if (type == VT_I2 || type == VT_I4) text = std::to_string(number);
    if (type == VT_FILETIME) text = TimeText(time);
    if (type != VT_EMPTY) std::printf("%s: %s\n", kPropertyNames[id], text.c_str());
  }
  return kExitOk;
}

}  // namespace kb::cli

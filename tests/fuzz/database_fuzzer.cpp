// libFuzzer target: opens arbitrary bytes as an installer database through the C interface and
// reads everything a reader can: every table named in `_Tables` (each row, each field as text
// and as integer, each stream to its end), `_Streams`, `_Storages`, the export text of every
// table, the column information and primary keys, and the summary information.
// Built by run_fuzzer.sh with clang; not part of the regular build.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "msi/database.h"
#include "msi/idt_archive.h"
#include "msi/msi_interface.h"
#include "msi/scoped_handle.h"
#include "platform/unique_fd.h"

namespace {

using kb::msi::ScopedHandle;

std::string FieldText(MSIHANDLE record, UINT field) {
  DWORD size = 0;
  if (MsiRecordGetStringA(record, field, nullptr, &size) != ERROR_SUCCESS) return {};
  std::string text(size + 1, '\0');
  ++size;
  if (MsiRecordGetStringA(record, field, text.data(), &size) != ERROR_SUCCESS) __builtin_trap();
  text.resize(size);
  return text;
}

void ReadStreamField(MSIHANDLE record, UINT field) {
  DWORD left = 0;
  if (MsiRecordReadStream(record, field, nullptr, &left) != ERROR_SUCCESS) return;
  char buffer[4096];
  std::uint64_t total = 0;
  for (;;) {
    DWORD got = sizeof buffer;
    if (MsiRecordReadStream(record, field, buffer, &got) != ERROR_SUCCESS || got == 0) break;
    total += got;
  }
  if (total > left) __builtin_trap();  // more bytes than the stream said it had
}

void ReadRecord(MSIHANDLE record) {
  const UINT count = MsiRecordGetFieldCount(record);
  for (UINT field = 0; field <= count; ++field) {
    MsiRecordIsNull(record, field);
    MsiRecordGetInteger(record, field);
    FieldText(record, field);
    ReadStreamField(record, field);
  }
}

// Runs `sql` and reads every row it yields; the names in column `name_field` are returned.
std::vector<std::string> ReadQuery(MSIHANDLE database, const std::string& sql, UINT name_field) {
  std::vector<std::string> names;
  ScopedHandle view;
  if (MsiDatabaseOpenViewA(database, sql.c_str(), view.Receive()) != ERROR_SUCCESS) return names;
  ScopedHandle record;
  for (MSICOLINFO info : {MSICOLINFO_NAMES, MSICOLINFO_TYPES}) {
    if (MsiViewGetColumnInfo(view.get(), info, record.Receive()) == ERROR_SUCCESS) {
      ReadRecord(record.get());
    }
  }
  if (MsiViewExecute(view.get(), 0) != ERROR_SUCCESS) return names;
  while (MsiViewFetch(view.get(), record.Receive()) == ERROR_SUCCESS) {
    ReadRecord(record.get());
    if (name_field != 0) names.push_back(FieldText(record.get(), name_field));
  }
  return names;
}

void ReadSummary(MSIHANDLE database) {
  ScopedHandle summary;
  if (MsiGetSummaryInformationA(database, nullptr, 0, summary.Receive()) != ERROR_SUCCESS) return;
  UINT count = 0;
  MsiSummaryInfoGetPropertyCount(summary.get(), &count);
  for (UINT id = 0; id < 20; ++id) {
    UINT type = 0;
    INT number = 0;
    FILETIME time{};
    char text[64];
    DWORD size = sizeof text;
    MsiSummaryInfoGetPropertyA(summary.get(), id, &type, &number, &time, text, &size);
  }
}

void ReadDatabase(const std::string& path) {
  ScopedHandle database;
  if (MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, database.Receive()) != ERROR_SUCCESS) {
    return;
  }
  ScopedHandle keys;
  for (const std::string& table : ReadQuery(database.get(), "SELECT * FROM `_Tables`", 1)) {
    ReadQuery(database.get(), "SELECT * FROM `" + table + "`", 0);
    if (MsiDatabaseGetPrimaryKeysA(database.get(), table.c_str(), keys.Receive()) ==
        ERROR_SUCCESS) {
      ReadRecord(keys.get());
    }
  }
  ReadQuery(database.get(), "SELECT * FROM `_Columns`", 0);
  ReadQuery(database.get(), "SELECT * FROM `_Streams`", 0);
  ReadQuery(database.get(), "SELECT * FROM `_Storages`", 0);
  ReadSummary(database.get());
}

// The export text of every table, through the engine directly: the C interface's export
// writes files, which would make the fuzzer slow without reaching more code.
void ExportEverything(const std::string& path) {
  std::shared_ptr<kb::msi::Database> database;
  if (kb::msi::Database::Open(path, kb::msi::Database::OpenMode::kReadOnly, &database) !=
      kb::msi::kSuccess) {
    return;
  }
  auto tables = database->OpenTable("_Tables");
  for (std::size_t row = 0; tables && row < tables->row_count(); ++row) {
    const kb::msi::FieldValue name = tables->Get(row, 0);
    if (const auto* text = std::get_if<std::string>(&name)) {
      kb::msi::RenderArchive(*database, *text, nullptr);
    }
  }
  kb::msi::RenderArchive(*database, "_SummaryInformation", nullptr);
  kb::msi::RenderArchive(*database, "_ForceCodepage", nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kb::platform::UniqueFd fd(::memfd_create("fuzz", MFD_CLOEXEC));
  if (!fd.valid() || ::write(fd.get(), data, size) != static_cast<ssize_t>(size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd.get());
  ReadDatabase(path);
  ExportEverything(path);
  return 0;
}

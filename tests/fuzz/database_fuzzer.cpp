// libFuzzer target: opens arbitrary bytes as an installer database through the C interface and
// reads everything a reader can: every table named in `_Tables` (each row, each field as text
// and as integer, each stream to its end), `_Streams`, `_Storages`, the export text of every
// table, the column information and primary keys, and the summary information. Then it edits a
// copy: in the first table with a text column it inserts a row, updates that column, deletes
// rows, adds a stream to `_Streams`, commits, and reads the reopened copy again.
// Built by run_fuzzer.sh with clang (libFuzzer); fuzz_replay runs it on the seeds in the tests.
#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "msi/db/database.h"
#include "msi/db/idt_archive.h"
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
// writes files, which would make the fuzzer slow without reaching more code. Whether a table
// renders does not matter, only that rendering is safe.
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
      (void)kb::msi::RenderArchive(*database, *text, nullptr);
    }
  }
  (void)kb::msi::RenderArchive(*database, "_SummaryInformation", nullptr);
  (void)kb::msi::RenderArchive(*database, "_ForceCodepage", nullptr);
}

// A table of the input and what the edits need to know of its columns.
struct EditTarget {
  std::string table;
  std::vector<std::string> names;
  std::string types;     // each column's type letter: s, l (text), i, j (integer), v (binary)
  UINT text_column = 0;  // the first text column that is no key (else the first text column)
};

// The first table named in `_Tables` that has a text column, or nothing.
std::optional<EditTarget> FindEditTarget(MSIHANDLE database) {
  for (const std::string& table : ReadQuery(database, "SELECT * FROM `_Tables`", 1)) {
    ScopedHandle view;
    ScopedHandle names;
    ScopedHandle types;
    ScopedHandle keys;
    const std::string sql = "SELECT * FROM `" + table + "`";
    if (MsiDatabaseOpenViewA(database, sql.c_str(), view.Receive()) != ERROR_SUCCESS ||
        MsiViewGetColumnInfo(view.get(), MSICOLINFO_NAMES, names.Receive()) != ERROR_SUCCESS ||
        MsiViewGetColumnInfo(view.get(), MSICOLINFO_TYPES, types.Receive()) != ERROR_SUCCESS ||
        MsiDatabaseGetPrimaryKeysA(database, table.c_str(), keys.Receive()) != ERROR_SUCCESS) {
      continue;
    }
    EditTarget target{table, {}, {}, 0};
    const UINT key_count = MsiRecordGetFieldCount(keys.get());
    for (UINT field = 1; field <= MsiRecordGetFieldCount(names.get()); ++field) {
      const std::string type = FieldText(types.get(), field);
      const char kind = type.empty() ? '?' : static_cast<char>(std::tolower(type[0]));
      target.names.push_back(FieldText(names.get(), field));
      target.types.push_back(kind);
      const bool text = kind == 's' || kind == 'l';
      if (text &&
          (target.text_column == 0 || (target.text_column <= key_count && field > key_count))) {
        target.text_column = field;
      }
    }
    if (target.text_column != 0) return target;
  }
  return std::nullopt;
}

bool Run(MSIHANDLE database, const std::string& sql, MSIHANDLE parameters = 0) {
  ScopedHandle view;
  return MsiDatabaseOpenViewA(database, sql.c_str(), view.Receive()) == ERROR_SUCCESS &&
         MsiViewExecute(view.get(), parameters) == ERROR_SUCCESS;
}

std::string Quoted(const std::string& name) {
  return "`" + name + "`";
}

// The bytes of the stream the edits add, in a memory file that lives as long as the process.
const std::string& StreamFile() {
  static const std::string path = [] {
    const int fd = ::memfd_create("fuzz-stream", MFD_CLOEXEC);
    const std::vector<char> bytes(3000, 'z');
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      __builtin_trap();
    }
    return "/proc/self/fd/" + std::to_string(fd);
  }();
  return path;
}

// Inserts a row through a parameter record: text columns get `tag` and the column's number,
// integer columns `number`, binary columns the stream file.
void InsertRow(MSIHANDLE database, const EditTarget& target, const std::string& tag, int number) {
  std::string columns;
  std::string markers;
  ScopedHandle values(MsiCreateRecord(static_cast<UINT>(target.names.size())));
  for (UINT i = 0; i < target.names.size(); ++i) {
    columns += (i ? ", " : "") + Quoted(target.names[i]);
    markers += i ? ", ?" : "?";
    switch (target.types[i]) {
      case 's':
      case 'l':
        MsiRecordSetStringA(values.get(), i + 1, (tag + std::to_string(i + 1)).c_str());
        break;
      case 'v':
        MsiRecordSetStreamA(values.get(), i + 1, StreamFile().c_str());
        break;
      default:
        MsiRecordSetInteger(values.get(), i + 1, number);
    }
  }
  Run(database,
      "INSERT INTO " + Quoted(target.table) + " (" + columns + ") VALUES (" + markers + ")",
      values.get());
}

// Deletes the table's first row through MsiViewModify.
void DeleteFirstRow(MSIHANDLE database, const EditTarget& target) {
  ScopedHandle view;
  ScopedHandle row;
  if (MsiDatabaseOpenViewA(database, ("SELECT * FROM " + Quoted(target.table)).c_str(),
                           view.Receive()) == ERROR_SUCCESS &&
      MsiViewExecute(view.get(), 0) == ERROR_SUCCESS &&
      MsiViewFetch(view.get(), row.Receive()) == ERROR_SUCCESS) {
    MsiViewModify(view.get(), MSIMODIFY_DELETE, row.get());
  }
}

// Runs `statement` + " WHERE" or " SET" + the text column + " = ?" with `value` as parameter.
void RunOnTextColumn(MSIHANDLE database, const EditTarget& target, const std::string& statement,
                     const std::string& value) {
  ScopedHandle parameter(MsiCreateRecord(1));
  MsiRecordSetStringA(parameter.get(), 1, value.c_str());
  Run(database, statement + Quoted(target.names[target.text_column - 1]) + " = ?", parameter.get());
}

// Adds a stream to `_Streams`; true when the insert succeeded.
bool AddStream(MSIHANDLE database) {
  ScopedHandle data(MsiCreateRecord(1));
  MsiRecordSetStreamA(data.get(), 1, StreamFile().c_str());
  return Run(database, "INSERT INTO `_Streams` (`Name`, `Data`) VALUES ('FuzzStream', ?)",
             data.get());
}

// What the edits achieved.
struct EditOutcome {
  bool committed = false;
  bool stream_added = false;
};

// A commit that succeeded leaves a database that opens, with the stream added read back whole.
void CheckCommitted(const std::string& path, const EditOutcome& outcome) {
  ScopedHandle database;
  if (MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, database.Receive()) != ERROR_SUCCESS) {
    __builtin_trap();
  }
  if (!outcome.stream_added) return;
  ScopedHandle view;
  ScopedHandle row;
  if (MsiDatabaseOpenViewA(database.get(),
                           "SELECT `Data` FROM `_Streams` WHERE `Name` = 'FuzzStream'",
                           view.Receive()) != ERROR_SUCCESS ||
      MsiViewExecute(view.get(), 0) != ERROR_SUCCESS ||
      MsiViewFetch(view.get(), row.Receive()) != ERROR_SUCCESS) {
    __builtin_trap();
  }
  DWORD size = 0;
  if (MsiRecordReadStream(row.get(), 1, nullptr, &size) != ERROR_SUCCESS || size != 3000) {
    __builtin_trap();
  }
}

// Edits the database at `path` and commits.
EditOutcome EditAndCommit(const std::string& path) {
  ScopedHandle database;
  if (MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_TRANSACT, database.Receive()) != ERROR_SUCCESS) {
    return {};
  }
  if (const auto target = FindEditTarget(database.get())) {
    const std::string table = Quoted(target->table);
    InsertRow(database.get(), *target, "fuzz-a", 7);
    DeleteFirstRow(database.get(), *target);
    RunOnTextColumn(database.get(), *target, "UPDATE " + table + " SET ", "updated");
    InsertRow(database.get(), *target, "fuzz-b", 8);
    RunOnTextColumn(database.get(), *target, "DELETE FROM " + table + " WHERE ",
                    "fuzz-b" + std::to_string(target->text_column));
  }
  EditOutcome outcome;
  outcome.stream_added = AddStream(database.get());
  outcome.committed = MsiDatabaseCommit(database.get()) == ERROR_SUCCESS;
  return outcome;
}

kb::platform::UniqueFd MemoryFile(const std::uint8_t* data, std::size_t size) {
  kb::platform::UniqueFd fd(::memfd_create("fuzz", MFD_CLOEXEC));
  if (fd.valid() && ::write(fd.get(), data, size) != static_cast<ssize_t>(size)) fd.Reset();
  return fd;
}

std::string PathOf(const kb::platform::UniqueFd& fd) {
  return "/proc/self/fd/" + std::to_string(fd.get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const kb::platform::UniqueFd input = MemoryFile(data, size);
  if (!input.valid()) return 0;
  ReadDatabase(PathOf(input));
  ExportEverything(PathOf(input));
  const kb::platform::UniqueFd copy = MemoryFile(data, size);
  if (!copy.valid()) return 0;
  const std::string path = PathOf(copy);
  const EditOutcome outcome = EditAndCommit(path);
  ReadDatabase(path);
  ExportEverything(path);
  if (outcome.committed) CheckCommitted(path, outcome);
  return 0;
}

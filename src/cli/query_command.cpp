#include <cctype>
#include <cstdio>
#include <string>

#include "cli/database_commands.h"
#include "cli/open_failure.h"
#include "msi/api/msi_interface.h"
#include "msi/api/record_text.h"
#include "msi/api/scoped_handle.h"

namespace kb::cli {
namespace {

bool IsSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// The statement without the white space around it. Statements come from scripts and files,
// whose line breaks the engine, as the installer does, refuses outside quotes.
std::string Trimmed(std::string_view sql) {
  while (!sql.empty() && IsSpace(sql.front())) sql.remove_prefix(1);
  while (!sql.empty() && IsSpace(sql.back())) sql.remove_suffix(1);
  return std::string(sql);
}

// REQUIRES: `sql` trimmed.
bool IsSelect(std::string_view sql) {
  if (sql.size() < 6) return false;
  std::string word(sql.substr(0, 6));
  for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return word == "SELECT";
}

// True when `sql` holds a parameter marker: a "?" outside quoted literals and names. Its value
// would come from a record, which a command line cannot pass.
bool HasParameterMarker(std::string_view sql) {
  char quote = '\0';
  for (const char c : sql) {
    if (quote != '\0') {
      if (c == quote) quote = '\0';
    } else if (c == '\'' || c == '`') {
      quote = c;
    } else if (c == '?') {
      return true;
    }
  }
  return false;
}

// `text` on one line: tabs, line breaks and backslashes as \t, \n, \r and \\, so that each
// row is one line and its fields are told apart by the tabs between them.
std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '\t':
        line += "\\t";
        break;
      case '\n':
        line += "\\n";
        break;
      case '\r':
        line += "\\r";
        break;
      case '\\':
        line += "\\\\";
        break;
      default:
        line += c;
    }
  }
  return line;
}

void PrintRows(MSIHANDLE view) {
  msi::ScopedHandle record;
  while (MsiViewFetch(view, record.Receive()) == ERROR_SUCCESS) {
    const UINT count = MsiRecordGetFieldCount(record.get());
    std::string line;
    for (UINT field = 1; field <= count; ++field) {
      DWORD size = 0;
      // A stream field has no text; it shows as its size in brackets.
      const bool stream = MsiRecordReadStream(record.get(), field, nullptr, &size) == ERROR_SUCCESS;
      if (field > 1) line += '\t';
      if (stream) {
        line += '[';
        line += std::to_string(size);
        line += " bytes]";
      } else {
        line += OneLine(msi::RecordText(record.get(), field));
      }
    }
    std::printf("%s\n", line.c_str());
  }
}

}  // namespace

int RunQuery(std::span<const std::string_view> args) {
  if (args.size() != 2) return UsageError(kQueryCommand, "needs a database and one statement");
  const std::string path(args[0]);
  const std::string sql = Trimmed(args[1]);
  if (HasParameterMarker(sql)) {
    return UsageError(kQueryCommand, "parameters cannot be passed on the command line");
  }
  const bool select = IsSelect(sql);
  msi::ScopedHandle database;
  if (MsiOpenDatabaseA(path.c_str(), select ? MSIDBOPEN_READONLY : MSIDBOPEN_TRANSACT,
                       database.Receive()) != ERROR_SUCCESS) {
    return UsageError(kQueryCommand, CannotOpen(path, !select));
  }
  msi::ScopedHandle view;
  UINT error = MsiDatabaseOpenViewA(database.get(), sql.c_str(), view.Receive());
  if (error == ERROR_SUCCESS) error = MsiViewExecute(view.get(), 0);
  if (error == ERROR_SUCCESS && select) PrintRows(view.get());
  if (error == ERROR_SUCCESS && !select) error = MsiDatabaseCommit(database.get());
  if (error != ERROR_SUCCESS) {
    std::fprintf(stderr, "kitbinder-cli: the statement failed (error %u)%s\n", error,
                 EngineReason().c_str());
    return error == ERROR_BAD_QUERY_SYNTAX ? kExitUsage : kExitFailed;
  }
  return kExitOk;
}

}  // namespace kb::cli

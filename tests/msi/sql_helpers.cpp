#include "sql_helpers.h"

namespace kb::msi::test {

UINT RunSql(MSIHANDLE database, const std::string& sql, MSIHANDLE parameters) {
  ScopedHandle view;
  const UINT opened = MsiDatabaseOpenViewA(database, sql.c_str(), view.Receive());
  if (opened != ERROR_SUCCESS) return opened;
  return MsiViewExecute(view.get(), parameters);
}

std::string FieldText(MSIHANDLE record, UINT field) {
  DWORD size = 0;
  MsiRecordGetStringA(record, field, nullptr, &size);
  std::string text(size + 1, '\0');
  ++size;
  MsiRecordGetStringA(record, field, text.data(), &size);
  text.resize(size);
  return text;
}

std::vector<std::vector<std::string>> Rows(MSIHANDLE database, const std::string& sql) {
  std::vector<std::vector<std::string>> rows;
  ScopedHandle view;
  if (MsiDatabaseOpenViewA(database, sql.c_str(), view.Receive()) != ERROR_SUCCESS ||
      MsiViewExecute(view.get(), 0) != ERROR_SUCCESS) {
    return rows;
  }
  ScopedHandle record;
  while (MsiViewFetch(view.get(), record.Receive()) == ERROR_SUCCESS) {
    std::vector<std::string> row;
    for (UINT field = 1; field <= MsiRecordGetFieldCount(record.get()); ++field) {
      row.push_back(FieldText(record.get(), field));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

ScopedHandle TextRecord(const std::vector<std::string>& fields) {
  ScopedHandle record(MsiCreateRecord(static_cast<UINT>(fields.size())));
  for (std::size_t i = 0; i < fields.size(); ++i) {
    MsiRecordSetStringA(record.get(), static_cast<UINT>(i + 1), fields[i].c_str());
  }
  return record;
}

}  // namespace kb::msi::test

#include "validation/package_tables.h"

#include <charconv>
#include <utility>

#include "msi/api/msi_interface.h"
#include "msi/api/record_text.h"

namespace kb::validation {
namespace {

// The fields of a record as text, `count` of them.
std::vector<std::string> RecordTexts(MSIHANDLE record, UINT count) {
  std::vector<std::string> texts;
  for (UINT field = 1; field <= count; ++field) texts.push_back(msi::RecordText(record, field));
  return texts;
}

std::optional<std::string> FieldValue(MSIHANDLE record, UINT field) {
  if (MsiRecordIsNull(record, field)) return std::nullopt;
  return msi::RecordText(record, field);
}

// One summary property: its type, its number and, when `text` is given, its text (`size` is
// the room in `text` on entry and the text's length on return). False when it cannot be read.
bool SummaryProperty(MSIHANDLE summary, UINT property, UINT& type, INT& number, char* text,
                     DWORD& size) {
  FILETIME time{};
  return MsiSummaryInfoGetPropertyA(summary, property, &type, &number, &time, text, &size) ==
         ERROR_SUCCESS;
}

std::optional<int> SummaryInteger(MSIHANDLE summary, UINT property) {
  UINT type = 0;
  INT value = 0;
  DWORD size = 0;
  if (!SummaryProperty(summary, property, type, value, nullptr, size) ||
      (type != VT_I2 && type != VT_I4)) {
    return std::nullopt;
  }
  return value;
}

std::string SummaryText(MSIHANDLE summary, UINT property) {
  UINT type = 0;
  INT value = 0;
  DWORD size = 0;
  if (!SummaryProperty(summary, property, type, value, nullptr, size) || type != VT_LPSTR) {
    return std::string();
  }
  std::string text(size + 1, '\0');
  ++size;
  if (!SummaryProperty(summary, property, type, value, text.data(), size)) return std::string();
  text.resize(size);
  return text;
}

SummaryFacts ReadSummary(MSIHANDLE database) {
  msi::ScopedHandle summary;
  SummaryFacts facts;
  if (MsiGetSummaryInformationA(database, nullptr, 0, summary.Receive()) != ERROR_SUCCESS) {
    return facts;
  }
  const std::string template_text = SummaryText(summary.get(), PID_TEMPLATE);
  facts.platform = template_text.substr(0, template_text.find(';'));
  facts.schema = SummaryInteger(summary.get(), PID_PAGECOUNT);
  facts.word_count = SummaryInteger(summary.get(), PID_WORDCOUNT);
  return facts;
}

}  // namespace

Table::Table(std::vector<std::string> columns, std::vector<std::string> types,
             std::size_t key_count, std::vector<std::vector<std::optional<std::string>>> rows)
    : columns_(std::move(columns)),
      types_(std::move(types)),
      key_count_(key_count),
      rows_(std::move(rows)) {}

std::optional<std::size_t> Table::ColumnIndex(std::string_view column) const {
  for (std::size_t index = 0; index < columns_.size(); ++index) {
    if (columns_[index] == column) return index;
  }
  return std::nullopt;
}

const std::optional<std::string>& Table::Field(std::size_t row, std::size_t column) const {
  return rows_[row][column];
}

const std::optional<std::string>& Table::Field(std::size_t row, std::string_view column) const {
  static const std::optional<std::string> kAbsent;
  const auto index = ColumnIndex(column);
  return index ? Field(row, *index) : kAbsent;
}

std::string Table::Text(std::size_t row, std::string_view column) const {
  return Field(row, column).value_or(std::string());
}

std::optional<long long> Table::Number(std::size_t row, std::string_view column) const {
  const auto& field = Field(row, column);
  if (!field || field->empty()) return std::nullopt;
  long long value = 0;
  const char* end = field->data() + field->size();
  const auto [stop, error] = std::from_chars(field->data(), end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::string Table::Key(std::size_t row) const {
  std::string key;
  for (std::size_t column = 0; column < key_count_ && column < columns_.size(); ++column) {
    if (column > 0) key += '.';
    key += Field(row, column).value_or(std::string());
  }
  return key;
}

const Table::ValueRows& Table::IndexOf(std::size_t column) const {
  const auto [entry, made] = indexes_.try_emplace(column);
  if (made) {
    for (std::size_t row = 0; row < rows_.size(); ++row) {
      if (const auto& field = Field(row, column)) entry->second.try_emplace(*field, row);
    }
  }
  return entry->second;
}

std::optional<std::size_t> Table::Find(std::string_view column, std::string_view value) const {
  const auto index = ColumnIndex(column);
  if (!index) return std::nullopt;
  const ValueRows& values = IndexOf(*index);
  const auto found = values.find(std::string(value));
  if (found == values.end()) return std::nullopt;
  return found->second;
}

PackageTables::PackageTables(msi::ScopedHandle database)
    : database_(std::move(database)), summary_(ReadSummary(database_.get())) {}

bool PackageTables::Has(const std::string& name) {
  const MSICONDITION state = MsiDatabaseIsTablePersistentA(database_.get(), name.c_str());
  return state == MSICONDITION_TRUE || state == MSICONDITION_FALSE;
}

const Table& PackageTables::Get(const std::string& name) {
  const auto found = tables_.find(name);
  if (found != tables_.end()) return found->second;
  return tables_.emplace(name, Has(name) ? Read(name) : Table()).first->second;
}

Table PackageTables::Read(const std::string& name) {
  msi::ScopedHandle view;
  msi::ScopedHandle names;
  msi::ScopedHandle types;
  msi::ScopedHandle keys;
  const std::string query = "SELECT * FROM `" + name + "`";
  if (MsiDatabaseOpenViewA(database_.get(), query.c_str(), view.Receive()) != ERROR_SUCCESS ||
      MsiViewExecute(view.get(), 0) != ERROR_SUCCESS ||
      MsiViewGetColumnInfo(view.get(), MSICOLINFO_NAMES, names.Receive()) != ERROR_SUCCESS ||
      MsiViewGetColumnInfo(view.get(), MSICOLINFO_TYPES, types.Receive()) != ERROR_SUCCESS) {
    return Table();
  }
  const UINT count = MsiRecordGetFieldCount(names.get());
  const UINT key_count =
      MsiDatabaseGetPrimaryKeysA(database_.get(), name.c_str(), keys.Receive()) == ERROR_SUCCESS
          ? MsiRecordGetFieldCount(keys.get())
          : 1;
  std::vector<std::vector<std::optional<std::string>>> rows;
  msi::ScopedHandle record;
  while (MsiViewFetch(view.get(), record.Receive()) == ERROR_SUCCESS) {
    auto& row = rows.emplace_back();
    for (UINT field = 1; field <= count; ++field) row.push_back(FieldValue(record.get(), field));
  }
  return Table(RecordTexts(names.get(), count), RecordTexts(types.get(), count), key_count,
               std::move(rows));
}

}  // namespace kb::validation

#include "msi/db/stored_table_data.h"

#include "msi/db/code_page_text.h"
#include "platform/codepage.h"

namespace kb::msi {
namespace {

constexpr Cell kShortOffset = 0x8000;
constexpr Cell kLongOffset = 0x80000000;

// A value stored as the null cell of a text column.
bool IsNullText(const FieldValue& value) {
  const auto* text = std::get_if<std::string>(&value);
  return std::holds_alternative<std::monostate>(value) || (text != nullptr && text->empty());
}

}  // namespace

FieldValue StoredTableData::Get(std::size_t row, std::size_t column) const {
  const Cell cell = table_->row(row).cells[column];
  if (cell == 0) return std::monostate();
  const ColumnDef& def = schema().columns[column];
  switch (def.type.kind()) {
    case ColumnType::Kind::kShort:
      return static_cast<int>(cell) - static_cast<int>(kShortOffset);
    case ColumnType::Kind::kLong:
      return static_cast<int>(cell - kLongOffset);
    case ColumnType::Kind::kString: {
      const std::string_view bytes = database_->pool().Get(cell);
      // Bytes that are not what the code page promises are shown as Windows-1252 rather than
      // lost; they came from a file written elsewhere.
      return DecodeText(bytes, database_->code_page()).value_or(platform::Windows1252ToUtf8(bytes));
    }
    case ColumnType::Kind::kObject: {
      const std::u16string name = database_->ObjectStreamName(schema().name, StreamKeyOf(row));
      const auto size = database_->storage().StreamSize(name);
      if (!size) return std::monostate();
      return StreamField{
          std::make_shared<StoredStreamSource>(database_->shared_storage(), name, *size), 0};
    }
  }
  return std::monostate();
}

std::vector<FieldValue> StoredTableData::StreamKeyOf(std::size_t row) const {
  std::vector<FieldValue> key;
  for (const std::size_t column : schema().KeyColumns()) {
    // An object key column (only a damaged or odd catalog has one) names nothing: its value
    // would be the very stream being named.
    key.push_back(schema().columns[column].type.is_object() ? FieldValue() : Get(row, column));
  }
  return key;
}

ErrorCode StoredTableData::ToCell(const FieldValue& value, const ColumnDef& column,
                                  Cell* cell) const {
  *cell = 0;
  if (std::holds_alternative<std::monostate>(value)) {
    // Like the installer, the engine leaves other columns' nullability to validation: only
    // a key needs a value.
    return column.type.key() && !column.type.nullable() ? kFunctionFailed : kSuccess;
  }
  switch (column.type.kind()) {
    case ColumnType::Kind::kShort: {
      const auto number = IntegerOf(value);
      if (!number || *number < -32767 || *number > 32767) return kDatatypeMismatch;
      *cell = static_cast<Cell>(*number + static_cast<int>(kShortOffset));
      return kSuccess;
    }
    case ColumnType::Kind::kLong: {
      const auto number = IntegerOf(value);
      if (!number) return kDatatypeMismatch;
      *cell = static_cast<Cell>(*number) + kLongOffset;
      return kSuccess;
    }
    case ColumnType::Kind::kString: {
      if (std::holds_alternative<StreamField>(value)) return kDatatypeMismatch;
      const std::string text = std::holds_alternative<int>(value)
                                   ? std::to_string(std::get<int>(value))
                                   : std::get<std::string>(value);
      const auto bytes = EncodeText(text, database_->code_page());
      if (!bytes) return kFunctionFailed;
      *cell = database_->pool().Intern(*bytes);
      return kSuccess;
    }
    case ColumnType::Kind::kObject:
      if (!std::holds_alternative<StreamField>(value)) return kDatatypeMismatch;
      *cell = 1;
      return kSuccess;
  }
  return kDatatypeMismatch;
}

ErrorCode StoredTableData::CheckWritable() const {
  return database_->read_only() || !database_->Holds(*table_) ? kFunctionFailed : kSuccess;
}

ErrorCode StoredTableData::ToCells(std::span<const FieldValue> values,
                                   std::vector<Cell>* cells) const {
  if (values.size() != schema().columns.size()) return kFunctionFailed;
  if (const ErrorCode error = CheckWritable(); error != kSuccess) return error;
  cells->assign(values.size(), 0);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const ErrorCode error = ToCell(values[i], schema().columns[i], &(*cells)[i]);
    if (error != kSuccess) return error;
  }
  return kSuccess;
}

std::optional<std::size_t> StoredTableData::Find(std::span<const FieldValue> key) const {
  const std::vector<std::size_t> key_columns = schema().KeyColumns();
  if (key.size() != key_columns.size()) return std::nullopt;
  std::vector<Cell> cells;
  for (std::size_t k = 0; k < key.size(); ++k) {
    const ColumnDef& column = schema().columns[key_columns[k]];
    if (column.type.is_string()) {
      // A null (empty) key is the cell 0 that a row's key holds for it: such rows are found
      // like any other.
      const auto* text = std::get_if<std::string>(&key[k]);
      if (IsNullText(key[k])) {
        cells.push_back(0);
        continue;
      }
      // A text the pool does not hold is in no row; looking it up must not add it.
      const auto bytes = text ? EncodeText(*text, database_->code_page()) : std::nullopt;
      const auto id = bytes ? database_->pool().Find(*bytes) : std::nullopt;
      if (!id) return std::nullopt;
      cells.push_back(*id);
      continue;
    }
    Cell cell = 0;
    const ColumnDef lookup{column.name, column.type.With(ColumnType::kNullable, true)};
    if (ToCell(key[k], lookup, &cell) != kSuccess) {
      return std::nullopt;
    }
    cells.push_back(cell);
  }
  return table_->Find(cells);
}

void StoredTableData::AddObjectStreams(
    std::span<const FieldValue> values,
    std::vector<std::pair<std::u16string, FieldValue>>* out) const {
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!schema().columns[i].type.is_object()) continue;
    std::vector<FieldValue> key;
    for (const std::size_t column : schema().KeyColumns()) key.push_back(values[column]);
    out->emplace_back(database_->ObjectStreamName(schema().name, key), values[i]);
  }
}

ErrorCode StoredTableData::UpdatedRow(std::size_t row, std::span<const FieldValue> values,
                                      Row* out) const {
  if (values.size() != schema().columns.size()) return kFunctionFailed;
  if (const ErrorCode error = CheckWritable(); error != kSuccess) return error;
  const Row& current = table_->row(row);
  *out = Row{std::vector<Cell>(values.size(), 0), current.temporary};
  for (std::size_t i = 0; i < values.size(); ++i) {
    // A value left as it was keeps its cell: text whose bytes are not what the code page
    // promises reads as Windows-1252 and would not be stored as the same bytes again.
    if (values[i] == Get(row, i)) {
      out->cells[i] = current.cells[i];
    } else if (const ErrorCode error = ToCell(values[i], schema().columns[i], &out->cells[i]);
               error != kSuccess) {
      return error;
    }
  }
  if (table_->KeyOf(*out) != table_->KeyOf(current)) return kFunctionFailed;
  std::vector<std::pair<std::u16string, FieldValue>> streams;
  AddObjectStreams(values, &streams);
  for (const auto& [name, value] : streams) {
    if (const ErrorCode error = database_->CheckStream(name, value); error != kSuccess) {
      return error;
    }
  }
  return kSuccess;
}

ErrorCode StoredTableData::CheckUpdate(std::size_t row, std::span<const FieldValue> values) const {
  Row updated;
  return UpdatedRow(row, values, &updated);
}

ErrorCode StoredTableData::Insert(std::span<const FieldValue> values, bool temporary) {
  Row row;
  ErrorCode error = ToCells(values, &row.cells);
  if (error != kSuccess) return error;
  row.temporary = temporary || schema().temporary();
  const std::vector<Cell> key = table_->KeyOf(row);
  if (!table_->Insert(std::move(row))) return kFunctionFailed;
  std::vector<std::pair<std::u16string, FieldValue>> streams;
  AddObjectStreams(values, &streams);
  error = database_->StoreStreams(streams);
  if (error != kSuccess) {
    table_->Erase(*table_->Find(key));
    return error;
  }
  database_->MarkDirty(schema().name);
  return kSuccess;
}

ErrorCode StoredTableData::Update(std::size_t row, std::span<const FieldValue> values) {
  const std::vector<FieldValue> copy(values.begin(), values.end());
  return UpdateRows(std::span(&row, 1), std::span(&copy, 1));
}

ErrorCode StoredTableData::Erase(std::size_t row) {
  return EraseRows(std::span(&row, 1));
}

ErrorCode StoredTableData::UpdateRows(std::span<const std::size_t> rows,
                                      std::span<const std::vector<FieldValue>> values) {
  std::vector<Row> updated(rows.size());
  std::vector<std::pair<std::u16string, FieldValue>> streams;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (const ErrorCode error = UpdatedRow(rows[i], values[i], &updated[i]); error != kSuccess) {
      return error;
    }
    AddObjectStreams(values[i], &streams);
  }
  if (const ErrorCode error = database_->StoreStreams(streams); error != kSuccess) return error;
  for (std::size_t i = 0; i < rows.size(); ++i) table_->Replace(rows[i], std::move(updated[i]));
  if (!rows.empty()) database_->MarkDirty(schema().name);
  return kSuccess;
}

ErrorCode StoredTableData::EraseRows(std::span<const std::size_t> rows) {
  if (const ErrorCode error = CheckWritable(); error != kSuccess) return error;
  std::vector<std::pair<std::u16string, FieldValue>> streams;
  for (const std::size_t row : rows) {
    std::vector<FieldValue> nothing(schema().columns.size());
    for (const std::size_t column : schema().KeyColumns()) nothing[column] = Get(row, column);
    AddObjectStreams(nothing, &streams);
  }
  if (const ErrorCode error = database_->StoreStreams(streams); error != kSuccess) return error;
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) table_->Erase(*it);
  if (!rows.empty()) database_->MarkDirty(schema().name);
  return kSuccess;
}

}  // namespace kb::msi

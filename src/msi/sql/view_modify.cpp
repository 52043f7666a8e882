// Writing through a view: the MsiViewModify modes, on a fetched (or sought) row of one table
// or of a join, and the validating modes' checks of a record against the columns.

#include <algorithm>

#include "msi/sql/sql_values.h"
#include "msi/sql/view.h"

namespace kb::msi {
namespace {

// The characters of UTF-8 text (a column's size counts characters, not bytes).
std::size_t CharacterCount(std::string_view text) {
  return static_cast<std::size_t>(std::ranges::count_if(
      text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

std::vector<FieldValue> View::WithRecord(std::vector<FieldValue> values,
                                         const Record& record) const {
  for (std::size_t i = 0; i < binding_.columns.size(); ++i) {
    if (binding_.columns[i]) {
      values[binding_.columns[i]->column] = record.Get(static_cast<unsigned>(i + 1));
    }
  }
  return values;
}

std::optional<View::JoinedRow> View::OriginRows(const Record& record) const {
  const auto& origin = record.origin();
  if (!origin || origin->view_id != id_ || origin->keys.size() != binding_.tables.size()) {
    return std::nullopt;
  }
  JoinedRow rows;
  for (std::size_t table = 0; table < binding_.tables.size(); ++table) {
    const auto row = binding_.tables[table]->Find(origin->keys[table]);
    if (!row) return std::nullopt;
    rows.push_back(*row);
  }
  return rows;
}

std::optional<std::size_t> View::RecordRow(const Record& record) const {
  const std::vector<FieldValue> values =
      WithRecord(std::vector<FieldValue>(table_->schema().columns.size()), record);
  std::vector<FieldValue> key;
  for (const std::size_t column : table_->schema().KeyColumns()) key.push_back(values[column]);
  return table_->Find(key);
}

bool View::ViewHasKey() const {
  return std::ranges::all_of(table_->schema().KeyColumns(), [&](std::size_t key) {
    return std::ranges::any_of(binding_.columns,
                               [&](const auto& place) { return place && place->column == key; });
  });
}

ErrorCode View::ModifyJoined(ModifyMode mode, Record& record) {
  const auto rows = OriginRows(record);
  if (!rows || (mode != ModifyMode::kUpdate && mode != ModifyMode::kRefresh)) {
    return kFunctionFailed;
  }
  if (mode == ModifyMode::kRefresh) {
    FillRecord(*rows, record);
    return kSuccess;
  }
  // Each table takes the record's values of its own columns. Every table is asked first, so
  // that one refusing leaves the others as they were.
  std::vector<std::vector<FieldValue>> updated(binding_.tables.size());
  for (std::size_t table = 0; table < binding_.tables.size(); ++table) {
    const TableData& data = *binding_.tables[table];
    for (std::size_t column = 0; column < data.schema().columns.size(); ++column) {
      updated[table].push_back(data.Get((*rows)[table], column));
    }
    for (std::size_t i = 0; i < binding_.columns.size(); ++i) {
      const auto& place = binding_.columns[i];
      if (place && place->table == table) {
        updated[table][place->column] = record.Get(static_cast<unsigned>(i + 1));
      }
    }
    if (data.CheckUpdate((*rows)[table], updated[table]) != kSuccess) return kFunctionFailed;
  }
  for (std::size_t table = 0; table < binding_.tables.size(); ++table) {
    if (binding_.tables[table]->Update((*rows)[table], updated[table]) != kSuccess) {
      return kFunctionFailed;
    }
  }
  return kSuccess;
}

ErrorCode View::Modify(ModifyMode mode, Record& record) {
  errors_.clear();
  if (!select() || database_->failed()) return kFunctionFailed;
  // Modes that need no fetched row work on a view that was never executed: it is bound now.
  if (!table_ && !Rebind()) return kFunctionFailed;
  if (binding_.tables.size() > 1) return ModifyJoined(mode, record);
  const std::size_t width = table_->schema().columns.size();
  auto current = [&](std::size_t row) {
    std::vector<FieldValue> values;
    for (std::size_t column = 0; column < width; ++column)
      values.push_back(table_->Get(row, column));
    return values;
  };
  auto origin_row = [&]() -> std::optional<std::size_t> {
    const auto rows = OriginRows(record);
    return rows ? std::optional((*rows)[0]) : std::nullopt;
  };
  auto fail_unless = [](ErrorCode error) { return error == kSuccess ? kSuccess : kFunctionFailed; };
  const bool whole_record = record.field_count() >= binding_.columns.size();
  switch (mode) {
    case ModifyMode::kInsert:
    case ModifyMode::kInsertTemporary:
      return fail_unless(table_->Insert(WithRecord(std::vector<FieldValue>(width), record),
                                        mode == ModifyMode::kInsertTemporary));
    case ModifyMode::kUpdate: {
      const auto row = origin_row();
      if (!row) return kFunctionFailed;
      return fail_unless(table_->Update(*row, WithRecord(current(*row), record)));
    }
    case ModifyMode::kAssign: {
      const auto row = RecordRow(record);
      if (row) return fail_unless(table_->Update(*row, WithRecord(current(*row), record)));
      return fail_unless(table_->Insert(WithRecord(std::vector<FieldValue>(width), record), false));
    }
    case ModifyMode::kReplace: {
      const auto row = origin_row();
      if (!row) return kFunctionFailed;
      const std::vector<FieldValue> values = WithRecord(current(*row), record);
      if (RecordRow(record) == row) return fail_unless(table_->Update(*row, values));
      const ErrorCode error = table_->Erase(*row);
      return fail_unless(error == kSuccess ? table_->Insert(values, false) : error);
    }
    case ModifyMode::kMerge: {
      if (!whole_record) return kFunctionFailed;
      // The record stands for a whole row whose columns outside the view (key columns too) are
      // null. A row with its key must equal it in every column; otherwise it is added, unless
      // a value a column must have is missing.
      const std::vector<FieldValue> values = WithRecord(std::vector<FieldValue>(width), record);
      if (const auto row = RecordRow(record)) {
        return values == current(*row) ? kSuccess : kFunctionFailed;
      }
      for (std::size_t column = 0; column < width; ++column) {
        if (IsNull(values[column]) && !table_->schema().columns[column].type.nullable()) {
          return kInvalidData;
        }
      }
      return fail_unless(table_->Insert(values, false));
    }
    case ModifyMode::kDelete: {
      const auto row = record.origin() ? origin_row() : RecordRow(record);
      return row ? fail_unless(table_->Erase(*row)) : kFunctionFailed;
    }
    case ModifyMode::kValidate:
    case ModifyMode::kValidateNew:
    case ModifyMode::kValidateField:
    case ModifyMode::kValidateDelete:
      return Validate(mode, record);
    case ModifyMode::kSeek:
    case ModifyMode::kRefresh: {
      if (mode == ModifyMode::kSeek && (!ViewHasKey() || !whole_record)) return kFunctionFailed;
      const auto row = mode == ModifyMode::kSeek ? RecordRow(record) : origin_row();
      if (!row) return kFunctionFailed;
      FillRecord({*row}, record);
      return kSuccess;
    }
  }
  return kInvalidParameter;
}

ErrorCode View::Validate(ModifyMode mode, const Record& record) {
  if (mode == ModifyMode::kValidateDelete) return kSuccess;  // no row refers to another here
  const TableSchema& schema = table_->schema();
  for (std::size_t i = 0; i < binding_.columns.size(); ++i) {
    if (!binding_.columns[i]) continue;  // a constant of the select list
    const ColumnDef& column = schema.columns[binding_.columns[i]->column];
    const FieldValue& value = record.Get(static_cast<unsigned>(i + 1));
    const auto* text = std::get_if<std::string>(&value);
    if (IsNull(value)) {
      // MSIMODIFY_VALIDATE_FIELD checks the fields given, so an incomplete record passes.
      if (!column.type.nullable() && mode != ModifyMode::kValidateField) {
        errors_.push_back({column.name, ColumnFault::kRequired});
      }
    } else if (text != nullptr && column.type.is_string() && column.type.size() > 0 &&
               CharacterCount(*text) > column.type.size()) {
      errors_.push_back({column.name, ColumnFault::kStringOverflow});
    }
  }
  if (mode == ModifyMode::kValidateNew && RecordRow(record)) {
    for (const std::size_t key : schema.KeyColumns()) {
      errors_.push_back({schema.columns[key].name, ColumnFault::kDuplicateKey});
    }
  }
  return errors_.empty() ? kSuccess : kInvalidData;
}

std::optional<ColumnError> View::NextError() const {
  if (errors_.empty()) return std::nullopt;
  return errors_.front();
}

void View::DropError() {
  if (!errors_.empty()) errors_.erase(errors_.begin());
}

}  // namespace kb::msi

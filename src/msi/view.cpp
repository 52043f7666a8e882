#include "msi/view.h"

#include <algorithm>
#include <unordered_set>

#include "msi/sql_parser.h"

namespace kb::msi {
namespace {

std::uint64_t NextViewId() {
  static std::uint64_t last = 0;
  return ++last;
}

const std::string& TableOf(const SqlStatement& statement) {
  return std::visit(
      [](const auto& s) -> const std::string& {
        if constexpr (std::is_same_v<std::decay_t<decltype(s)>, SqlCreate>) {
          return s.schema.name;
        } else {
          return s.table;
        }
      },
      statement);
}

// Resolves `names` to column indexes of `schema`; false when one is unknown.
bool Resolve(const TableSchema& schema, const std::vector<std::string>& names,
             std::vector<std::size_t>& out) {
  for (const std::string& name : names) {
    const auto column = schema.FindColumn(name);
    if (!column) return false;
    out.push_back(*column);
  }
  return true;
}

bool ResolveCondition(const TableSchema& schema, const SqlCondition* condition) {
  if (condition == nullptr) return true;
  if (condition->kind != SqlCondition::Kind::kCompare) {
    return std::ranges::all_of(condition->operands, [&](const auto& operand) {
      return ResolveCondition(schema, operand.get());
    });
  }
  for (const SqlOperand* operand : {&condition->left, &condition->right}) {
    const auto* column = std::get_if<SqlColumn>(operand);
    if (column != nullptr && !schema.FindColumn(column->name)) return false;
  }
  return true;
}

// The columns a statement names (its view columns for SELECT and INSERT); false when one is
// unknown.
bool StatementColumns(const SqlStatement& statement, const TableSchema& schema,
                      std::vector<std::size_t>& columns) {
  if (const auto* select = std::get_if<SqlSelect>(&statement)) {
    std::vector<std::size_t> order;
    if (select->columns.empty()) {
      for (std::size_t i = 0; i < schema.columns.size(); ++i) columns.push_back(i);
    } else if (!Resolve(schema, select->columns, columns)) {
      return false;
    }
    return Resolve(schema, select->order_by, order) &&
           ResolveCondition(schema, select->where.get());
  }
  if (const auto* insert = std::get_if<SqlInsert>(&statement)) {
    return Resolve(schema, insert->columns, columns);
  }
  if (const auto* update = std::get_if<SqlUpdate>(&statement)) {
    std::vector<std::size_t> set;
    for (const auto& [name, value] : update->assignments) {
      if (!Resolve(schema, {name}, set)) return false;
    }
    return ResolveCondition(schema, update->where.get());
  }
  if (const auto* remove = std::get_if<SqlDelete>(&statement)) {
    return ResolveCondition(schema, remove->where.get());
  }
  return true;
}

// Three-way comparison of two non-null values; nullopt when they cannot be compared.
std::optional<int> CompareValues(const FieldValue& a, const FieldValue& b) {
  const auto* text_a = std::get_if<std::string>(&a);
  const auto* text_b = std::get_if<std::string>(&b);
  if (text_a && text_b) return text_a->compare(*text_b) < 0 ? -1 : *text_a == *text_b ? 0 : 1;
  const auto number_a = IntegerOf(a);
  const auto number_b = IntegerOf(b);
  if (!number_a || !number_b) return std::nullopt;
  const int x = number_a.value_or(0);
  const int y = number_b.value_or(0);
  return x < y ? -1 : x == y ? 0 : 1;
}

bool IsNull(const FieldValue& value) {
  return std::holds_alternative<std::monostate>(value);
}

// The characters of UTF-8 text (a column's size counts characters, not bytes).
std::size_t CharacterCount(std::string_view text) {
  return static_cast<std::size_t>(std::ranges::count_if(
      text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The values of `columns` in `row` as one text that equals another row's exactly when the
// values do. A stream equals no other row's.
std::string DistinctText(const TableData& table, std::size_t row,
                         std::span<const std::size_t> columns) {
  std::string text;
  for (const std::size_t column : columns) {
    const FieldValue value = table.Get(row, column);
    if (const auto* number = std::get_if<int>(&value)) {
      text += 'i' + std::to_string(*number);
    } else if (const auto* string = std::get_if<std::string>(&value)) {
      text += 's' + std::to_string(string->size()) + ':' + *string;
    } else if (std::holds_alternative<StreamField>(value)) {
      text += 'o' + std::to_string(row);
    } else {
      text += 'n';
    }
    text += ';';
  }
  return text;
}

bool Test(SqlCompare compare, const FieldValue& a, const FieldValue& b) {
  if (compare == SqlCompare::kIsNull) return IsNull(a);
  if (compare == SqlCompare::kIsNotNull) return !IsNull(a);
  if (IsNull(a) || IsNull(b)) {
    return compare == SqlCompare::kEqual      ? IsNull(a) && IsNull(b)
           : compare == SqlCompare::kNotEqual ? IsNull(a) != IsNull(b)
                                              : false;
  }
  const auto order = CompareValues(a, b);
  if (!order) return compare == SqlCompare::kNotEqual;
  switch (compare) {
    case SqlCompare::kEqual:
      return *order == 0;
    case SqlCompare::kNotEqual:
      return *order != 0;
    case SqlCompare::kLess:
      return *order < 0;
    case SqlCompare::kGreater:
      return *order > 0;
    case SqlCompare::kLessEqual:
      return *order <= 0;
    case SqlCompare::kGreaterEqual:
      return *order >= 0;
    default:
      return false;
  }
}

}  // namespace

View::View(std::shared_ptr<Database> database, ParsedSql parsed, std::vector<std::size_t> columns)
    : database_(std::move(database)),
      statement_(std::move(parsed.statement)),
      markers_(parsed.markers),
      columns_(std::move(columns)),
      id_(NextViewId()) {}

ErrorCode View::Prepare(std::shared_ptr<Database> database, std::string_view sql,
                        std::unique_ptr<View>* out) {
  auto parsed = ParseSql(sql);
  if (!parsed) return kBadQuerySyntax;
  const std::string& name = TableOf(parsed->statement);
  auto table = database->OpenTable(name);
  std::vector<std::size_t> columns;
  if (!std::holds_alternative<SqlCreate>(parsed->statement)) {
    if (!table && !database->HasTable(name)) return kBadQuerySyntax;
    // A table whose rows are damaged can still be dropped.
    if (!table && !std::holds_alternative<SqlDrop>(parsed->statement)) return kInvalidData;
    if (table && !StatementColumns(parsed->statement, table->schema(), columns)) {
      return kBadQuerySyntax;
    }
  }
  out->reset(new View(std::move(database), std::move(*parsed), std::move(columns)));
  return kSuccess;
}

FieldValue View::Evaluate(const SqlOperand& operand, std::size_t row) const {
  if (const auto* column = std::get_if<SqlColumn>(&operand)) {
    return table_->Get(row, *table_->schema().FindColumn(column->name));
  }
  if (const auto* marker = std::get_if<SqlMarker>(&operand)) {
    return parameters_ ? parameters_->Get(marker->index) : FieldValue();
  }
  if (const auto* number = std::get_if<int>(&operand)) return *number;
  if (const auto* text = std::get_if<std::string>(&operand)) {
    return text->empty() ? FieldValue() : FieldValue(*text);
  }
  return FieldValue();
}

bool View::Matches(const SqlCondition& condition, std::size_t row) const {
  auto matches = [&](const auto& operand) { return Matches(*operand, row); };
  switch (condition.kind) {
    case SqlCondition::Kind::kAnd:
      return std::ranges::all_of(condition.operands, matches);
    case SqlCondition::Kind::kOr:
      return std::ranges::any_of(condition.operands, matches);
    case SqlCondition::Kind::kCompare:
      break;
  }
  return Test(condition.compare, Evaluate(condition.left, row), Evaluate(condition.right, row));
}

std::vector<std::size_t> View::MatchingRows(const SqlCondition* where) const {
  std::vector<std::size_t> rows;
  for (std::size_t row = 0; row < table_->row_count(); ++row) {
    if (where == nullptr || Matches(*where, row)) rows.push_back(row);
  }
  return rows;
}

ErrorCode View::RunSelect(const SqlSelect& select) {
  std::vector<std::size_t> rows = MatchingRows(select.where.get());
  if (!select.order_by.empty()) {
    std::vector<std::size_t> order;
    Resolve(table_->schema(), select.order_by, order);
    std::stable_sort(rows.begin(), rows.end(), [&](std::size_t a, std::size_t b) {
      for (const std::size_t column : order) {
        const FieldValue va = table_->Get(a, column);
        const FieldValue vb = table_->Get(b, column);
        if (IsNull(va) != IsNull(vb)) return IsNull(va);
        const int compared = CompareValues(va, vb).value_or(0);
        if (compared != 0) return compared < 0;
      }
      return false;
    });
  }
  result_keys_.clear();
  std::unordered_set<std::string> seen;
  for (const std::size_t row : rows) {
    if (select.distinct && !seen.insert(DistinctText(*table_, row, columns_)).second) continue;
    result_keys_.push_back(table_->KeyOf(row));
  }
  next_ = 0;
  return kSuccess;
}

ErrorCode View::RunInsert(const SqlInsert& insert) {
  std::vector<FieldValue> values(table_->schema().columns.size());
  for (std::size_t i = 0; i < columns_.size(); ++i)
    values[columns_[i]] = Evaluate(insert.values[i], 0);
  return table_->Insert(values, insert.temporary);
}

ErrorCode View::RunUpdate(const SqlUpdate& update) {
  const TableSchema& schema = table_->schema();
  const std::vector<std::size_t> rows = MatchingRows(update.where.get());
  std::vector<std::vector<FieldValue>> updated;
  for (const std::size_t row : rows) {
    std::vector<FieldValue> values;
    for (std::size_t column = 0; column < schema.columns.size(); ++column) {
      values.push_back(table_->Get(row, column));
    }
    for (const auto& [name, operand] : update.assignments) {
      const std::size_t column = *schema.FindColumn(name);
      if (schema.columns[column].type.key()) return kFunctionFailed;
      values[column] = Evaluate(operand, row);
    }
    updated.push_back(std::move(values));
  }
  return table_->UpdateRows(rows, updated);
}

ErrorCode View::RunAlter(const SqlAlter& alter) {
  ErrorCode error = kSuccess;
  switch (alter.action) {
    case SqlAlter::Action::kAdd:
      error = database_->AddColumn(alter.table, alter.column, alter.hold);
      break;
    case SqlAlter::Action::kHold:
      error = database_->Hold(alter.table);
      break;
    case SqlAlter::Action::kFree:
      error = database_->Free(alter.table);
      break;
  }
  // A column the table already has is answered as a CREATE of a table that exists is.
  return error == kSuccess || error == kBadQuerySyntax ? error : kFunctionFailed;
}

ErrorCode View::RunDelete() {
  const auto& where = std::get<SqlDelete>(statement_).where;
  return table_->EraseRows(MatchingRows(where.get()));
}

bool View::ResolveNow(std::shared_ptr<TableData>* table, std::vector<std::size_t>* columns) const {
  *table = database_->OpenTable(TableOf(statement_));
  columns->clear();
  return *table && StatementColumns(statement_, (*table)->schema(), *columns);
}

ErrorCode View::Execute(const Record* parameters) {
  Close();
  if (database_->failed()) return kFunctionFailed;
  if (markers_ > 0 && (parameters == nullptr || parameters->field_count() < markers_)) {
    return kFunctionFailed;
  }
  if (const auto* create = std::get_if<SqlCreate>(&statement_)) {
    if (database_->OpenTable(create->schema.name)) return kBadQuerySyntax;
    return database_->CreateTable(create->schema, create->hold) == kSuccess ? kSuccess
                                                                            : kFunctionFailed;
  }
  if (const auto* alter = std::get_if<SqlAlter>(&statement_)) return RunAlter(*alter);
  if (const auto* drop = std::get_if<SqlDrop>(&statement_)) {
    return database_->DropTable(drop->table) == kSuccess ? kSuccess : kFunctionFailed;
  }
  // The table may have been dropped and created anew since Prepare: its names are looked up
  // again, and a statement whose columns are gone fails.
  std::shared_ptr<TableData> table;
  std::vector<std::size_t> columns;
  if (!ResolveNow(&table, &columns)) {
    table_ = nullptr;  // nothing may be written through the view until it executes again
    return kFunctionFailed;
  }
  table_ = std::move(table);
  columns_ = std::move(columns);
  parameters_ = parameters;
  ErrorCode error = kSuccess;
  if (const auto* select = std::get_if<SqlSelect>(&statement_)) {
    error = RunSelect(*select);
  } else if (const auto* insert = std::get_if<SqlInsert>(&statement_)) {
    error = RunInsert(*insert);
  } else if (const auto* update = std::get_if<SqlUpdate>(&statement_)) {
    error = RunUpdate(*update);
  } else {
    error = RunDelete();
  }
  parameters_ = nullptr;
  executed_ = error == kSuccess;
  return error == kSuccess ? kSuccess : kFunctionFailed;
}

void View::FillRecord(std::size_t row, Record& record) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    record.Set(static_cast<unsigned>(i + 1), table_->Get(row, columns_[i]));
  }
  record.set_origin(FetchOrigin{id_, table_->KeyOf(row)});
}

ErrorCode View::Fetch(std::unique_ptr<Record>* out) {
  if (!executed_ || !std::holds_alternative<SqlSelect>(statement_) || database_->failed()) {
    return kFunctionFailed;
  }
  while (next_ < result_keys_.size()) {
    const auto row = table_->Find(result_keys_[next_++]);
    if (!row) continue;  // deleted since Execute
    auto record = std::make_unique<Record>(static_cast<unsigned>(columns_.size()));
    FillRecord(*row, *record);
    *out = std::move(record);
    return kSuccess;
  }
  return kNoMoreItems;
}

std::vector<FieldValue> View::WithRecord(std::vector<FieldValue> values,
                                         const Record& record) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    values[columns_[i]] = record.Get(static_cast<unsigned>(i + 1));
  }
  return values;
}

std::optional<std::size_t> View::OriginRow(const Record& record) const {
  const auto& origin = record.origin();
  if (!origin || origin->view_id != id_) return std::nullopt;
  return table_->Find(origin->key);
}

std::optional<std::size_t> View::RecordRow(const Record& record) const {
  const std::vector<FieldValue> values =
      WithRecord(std::vector<FieldValue>(table_->schema().columns.size()), record);
  std::vector<FieldValue> key;
  for (const std::size_t column : table_->schema().KeyColumns()) key.push_back(values[column]);
  return table_->Find(key);
}

ErrorCode View::Modify(ModifyMode mode, Record& record) {
  errors_.clear();
  if (!table_ || !std::holds_alternative<SqlSelect>(statement_) || database_->failed()) {
    return kFunctionFailed;
  }
  const std::size_t width = table_->schema().columns.size();
  auto current = [&](std::size_t row) {
    std::vector<FieldValue> values;
    for (std::size_t column = 0; column < width; ++column)
      values.push_back(table_->Get(row, column));
    return values;
  };
  auto fail_unless = [](ErrorCode error) { return error == kSuccess ? kSuccess : kFunctionFailed; };
  switch (mode) {
    case ModifyMode::kInsert:
    case ModifyMode::kInsertTemporary:
      return fail_unless(table_->Insert(WithRecord(std::vector<FieldValue>(width), record),
                                        mode == ModifyMode::kInsertTemporary));
    case ModifyMode::kUpdate: {
      const auto row = OriginRow(record);
      if (!row) return kFunctionFailed;
      return fail_unless(table_->Update(*row, WithRecord(current(*row), record)));
    }
    case ModifyMode::kAssign: {
      const auto row = RecordRow(record);
      if (row) return fail_unless(table_->Update(*row, WithRecord(current(*row), record)));
      return fail_unless(table_->Insert(WithRecord(std::vector<FieldValue>(width), record), false));
    }
    case ModifyMode::kReplace: {
      const auto row = OriginRow(record);
      if (!row) return kFunctionFailed;
      const std::vector<FieldValue> values = WithRecord(current(*row), record);
      if (RecordRow(record) == row) return fail_unless(table_->Update(*row, values));
      const ErrorCode error = table_->Erase(*row);
      return fail_unless(error == kSuccess ? table_->Insert(values, false) : error);
    }
    case ModifyMode::kMerge: {
      const auto row = RecordRow(record);
      if (!row) {
        return fail_unless(
            table_->Insert(WithRecord(std::vector<FieldValue>(width), record), false));
      }
      return WithRecord(current(*row), record) == current(*row) ? kSuccess : kFunctionFailed;
    }
    case ModifyMode::kDelete: {
      const auto row = record.origin() ? OriginRow(record) : RecordRow(record);
      return row ? fail_unless(table_->Erase(*row)) : kFunctionFailed;
    }
    case ModifyMode::kValidate:
    case ModifyMode::kValidateNew:
    case ModifyMode::kValidateField:
    case ModifyMode::kValidateDelete:
      return Validate(mode, record);
    case ModifyMode::kSeek:
    case ModifyMode::kRefresh: {
      const auto row = mode == ModifyMode::kSeek ? RecordRow(record) : OriginRow(record);
      if (!row) return kFunctionFailed;
      FillRecord(*row, record);
      return kSuccess;
    }
  }
  return kInvalidParameter;
}

ErrorCode View::Validate(ModifyMode mode, const Record& record) {
  if (mode == ModifyMode::kValidateDelete) return kSuccess;  // no row refers to another here
  const TableSchema& schema = table_->schema();
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    const ColumnDef& column = schema.columns[columns_[i]];
    const FieldValue value = record.Get(static_cast<unsigned>(i + 1));
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

std::unique_ptr<Record> View::ColumnInfo(bool types) const {
  if (!std::holds_alternative<SqlSelect>(statement_)) return std::make_unique<Record>(0);
  std::shared_ptr<TableData> table = table_;
  std::vector<std::size_t> columns = columns_;
  if (!table && !ResolveNow(&table, &columns)) return std::make_unique<Record>(0);
  auto record = std::make_unique<Record>(static_cast<unsigned>(columns.size()));
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const ColumnDef& column = table->schema().columns[columns[i]];
    record->SetString(static_cast<unsigned>(i + 1), types ? column.type.ToArchive() : column.name);
  }
  return record;
}

void View::Close() {
  executed_ = false;
  result_keys_.clear();
  next_ = 0;
}

}  // namespace kb::msi

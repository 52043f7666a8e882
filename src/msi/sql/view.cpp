#include "msi/sql/view.h"

#include <algorithm>
#include <unordered_set>

#include "msi/sql/sql_parser.h"

namespace kb::msi {
namespace {

std::uint64_t NextViewId() {
  static std::uint64_t last = 0;
  return ++last;
}

// The tables a statement works on, in the order it names them.
std::vector<std::string> TablesOf(const SqlStatement& statement) {
  return std::visit(
      [](const auto& s) -> std::vector<std::string> {
        using Statement = std::decay_t<decltype(s)>;
        if constexpr (std::is_same_v<Statement, SqlSelect>) {
          return s.tables;
        } else if constexpr (std::is_same_v<Statement, SqlCreate>) {
          return {s.schema.name};
        } else {
          return {s.table};
        }
      },
      statement);
}

bool IsInteger(const ColumnType& type) {
  return type.kind() == ColumnType::Kind::kShort || type.kind() == ColumnType::Kind::kLong;
}

bool IsOrdering(SqlCompare compare) {
  return compare == SqlCompare::kLess || compare == SqlCompare::kGreater ||
         compare == SqlCompare::kLessEqual || compare == SqlCompare::kGreaterEqual;
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

// A value as text that equals another value's exactly when the values are equal for the
// installer's `=`, null included; nullopt for a stream, which equals nothing.
std::optional<std::string> ValueText(const FieldValue& value) {
  if (const auto* number = std::get_if<int>(&value)) return 'i' + std::to_string(*number);
  if (const auto* string = std::get_if<std::string>(&value)) {
    return 's' + std::to_string(string->size()) + ':' + *string;
  }
  if (std::holds_alternative<StreamField>(value)) return std::nullopt;
  return "n";
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

// The (table, column) a column reference names: the first of `tables` (named `names`) that has
// the column, or the one its qualification names.
std::optional<std::pair<std::size_t, std::size_t>> Lookup(
    const std::vector<std::string>& names, const std::vector<std::shared_ptr<TableData>>& tables,
    const SqlColumn& column) {
  for (std::size_t table = 0; table < tables.size(); ++table) {
    if (!column.table.empty() && names[table] != column.table) continue;
    if (const auto found = tables[table]->schema().FindColumn(column.name)) {
      return std::pair(table, *found);
    }
  }
  return std::nullopt;
}

// Finds the columns of a condition among `tables` (table, column) for `named`; false for an
// unknown column or a comparison the installer refuses: text ordered with < > <= >=, a column
// ordered against text, or an object column tested otherwise than for null.
bool BindCompare(const SqlCondition& condition, const std::vector<std::string>& names,
                 const std::vector<std::shared_ptr<TableData>>& tables,
                 std::unordered_map<const SqlColumn*, std::pair<std::size_t, std::size_t>>& named) {
  if (condition.kind != SqlCondition::Kind::kCompare) {
    return std::ranges::all_of(condition.operands, [&](const auto& operand) {
      return BindCompare(*operand, names, tables, named);
    });
  }
  bool integers = true;  // every column compared holds integers
  bool objects = false;  // a column compared holds streams
  for (const SqlOperand* operand : {&condition.left, &condition.right}) {
    const auto* column = std::get_if<SqlColumn>(operand);
    if (column == nullptr) continue;
    const auto found = Lookup(names, tables, *column);
    if (!found) return false;
    named[column] = *found;
    const ColumnType type = tables[found->first]->schema().columns[found->second].type;
    integers = integers && IsInteger(type);
    objects = objects || type.is_object();
  }
  const bool null_test =
      condition.compare == SqlCompare::kIsNull || condition.compare == SqlCompare::kIsNotNull;
  if (objects) return null_test;  // the documented limit on comparisons of objects
  if (!IsOrdering(condition.compare)) return true;
  return integers && !std::holds_alternative<std::string>(condition.right);
}

}  // namespace

View::View(std::shared_ptr<Database> database, ParsedSql parsed)
    : database_(std::move(database)),
      statement_(std::move(parsed.statement)),
      markers_(parsed.markers),
      id_(NextViewId()) {}

ErrorCode View::Bind(const SqlStatement& statement, std::vector<std::shared_ptr<TableData>> tables,
                     Binding* out) {
  const std::vector<std::string> names = TablesOf(statement);
  std::unordered_map<const SqlColumn*, std::pair<std::size_t, std::size_t>> named;
  auto bind_where = [&](const SqlCondition* where) {
    return where == nullptr || BindCompare(*where, names, tables, named);
  };
  // Columns of the statement's one table that an INSERT or UPDATE names.
  auto bind_names = [&](const auto& columns, auto name_of) {
    for (const auto& column : columns) {
      const auto found = tables[0]->schema().FindColumn(name_of(column));
      if (!found) return false;
      out->columns.push_back(ColumnRef{0, *found});
    }
    return true;
  };
  out->columns.clear();
  bool known = true;
  if (const auto* select = std::get_if<SqlSelect>(&statement)) {
    for (std::size_t table = 0; table < tables.size() && select->columns.empty(); ++table) {
      for (std::size_t i = 0; i < tables[table]->schema().columns.size(); ++i) {
        out->columns.push_back(ColumnRef{table, i});
      }
    }
    for (const SqlOperand& selected : select->columns) {
      const auto* column = std::get_if<SqlColumn>(&selected);
      const auto found = column ? Lookup(names, tables, *column) : std::nullopt;
      if (column != nullptr && !found) return kBadQuerySyntax;
      out->columns.push_back(found ? std::optional(ColumnRef{found->first, found->second})
                                   : std::nullopt);
    }
    for (const SqlColumn& column : select->order_by) {
      const auto found = Lookup(names, tables, column);
      if (!found) return kBadQuerySyntax;
      named[&column] = *found;
    }
    known = bind_where(select->where.get());
  } else if (const auto* insert = std::get_if<SqlInsert>(&statement)) {
    known = bind_names(insert->columns, [](const std::string& name) { return name; });
  } else if (const auto* update = std::get_if<SqlUpdate>(&statement)) {
    known = bind_names(update->assignments, [](const auto& set) { return set.first; }) &&
            bind_where(update->where.get());
    out->columns.clear();  // an UPDATE selects nothing
  } else if (const auto* remove = std::get_if<SqlDelete>(&statement)) {
    known = bind_where(remove->where.get());
  }
  if (!known) return kBadQuerySyntax;
  out->named.clear();
  for (const auto& [column, place] : named) {
    out->named[column] = ColumnRef{place.first, place.second};
  }
  out->tables = std::move(tables);
  return kSuccess;
}

ErrorCode View::Prepare(std::shared_ptr<Database> database, std::string_view sql,
                        std::unique_ptr<View>* out) {
  auto parsed = ParseSql(sql);
  if (!parsed) return kBadQuerySyntax;
  std::unique_ptr<View> view(new View(std::move(database), std::move(*parsed)));
  const SqlStatement& statement = view->statement_;
  if (!std::holds_alternative<SqlCreate>(statement)) {
    std::vector<std::shared_ptr<TableData>> tables;
    for (const std::string& name : TablesOf(statement)) {
      auto table = view->database_->OpenTable(name);
      if (!table && !view->database_->HasTable(name)) return kBadQuerySyntax;
      // A table whose rows are damaged can still be dropped.
      if (!table && !std::holds_alternative<SqlDrop>(statement)) return kInvalidData;
      tables.push_back(std::move(table));
    }
    Binding binding;
    if (!std::holds_alternative<SqlDrop>(statement)) {
      if (const ErrorCode error = Bind(statement, std::move(tables), &binding); error != kSuccess) {
        return error;
      }
    }
  }
  *out = std::move(view);
  return kSuccess;
}

bool View::BindNow(Binding* out) const {
  std::vector<std::shared_ptr<TableData>> tables;
  for (const std::string& name : TablesOf(statement_)) {
    tables.push_back(database_->OpenTable(name));
    if (!tables.back()) return false;
  }
  return Bind(statement_, std::move(tables), out) == kSuccess;
}

FieldValue View::Evaluate(const SqlOperand& operand, const JoinedRow& rows) const {
  if (const auto* column = std::get_if<SqlColumn>(&operand)) {
    const ColumnRef& place = binding_.named.at(column);
    return binding_.tables[place.table]->Get(rows[place.table], place.column);
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

bool View::Matches(const SqlCondition& condition, const JoinedRow& rows) const {
  auto matches = [&](const auto& operand) { return Matches(*operand, rows); };
  switch (condition.kind) {
    case SqlCondition::Kind::kAnd:
      return std::ranges::all_of(condition.operands, matches);
    case SqlCondition::Kind::kOr:
      return std::ranges::any_of(condition.operands, matches);
    case SqlCondition::Kind::kCompare:
      break;
  }
  return Test(condition.compare, Evaluate(condition.left, rows), Evaluate(condition.right, rows));
}

std::vector<std::size_t> View::Candidates(const SqlCondition* where, const JoinedRow& rows,
                                          std::size_t table) const {
  // An equality of this table's column with a column of a table already chosen (a later one)
  // that every matching row must satisfy: the rows it allows come from an index.
  std::vector<const SqlCondition*> terms;
  if (where != nullptr && where->kind == SqlCondition::Kind::kAnd) {
    for (const auto& operand : where->operands) terms.push_back(operand.get());
  } else if (where != nullptr) {
    terms.push_back(where);
  }
  for (const SqlCondition* term : terms) {
    const auto* left = std::get_if<SqlColumn>(&term->left);
    const auto* right = std::get_if<SqlColumn>(&term->right);
    if (term->kind != SqlCondition::Kind::kCompare || term->compare != SqlCompare::kEqual ||
        left == nullptr || right == nullptr) {
      continue;
    }
    ColumnRef mine = binding_.named.at(left);
    ColumnRef other = binding_.named.at(right);
    if (mine.table != table) std::swap(mine, other);
    if (mine.table != table || other.table <= table) continue;
    const ColumnType mine_type = binding_.tables[table]->schema().columns[mine.column].type;
    const ColumnType other_type = binding_.tables[other.table]->schema().columns[other.column].type;
    // The index compares values as text: only columns of one kind compare that way.
    if (mine_type.is_string() != other_type.is_string() ||
        IsInteger(mine_type) != IsInteger(other_type) || mine_type.is_object()) {
      continue;
    }
    auto& index = indexes_[{table, mine.column}];
    if (index.empty()) {
      const TableData& data = *binding_.tables[table];
      for (std::size_t row = 0; row < data.row_count(); ++row) {
        index[*ValueText(data.Get(row, mine.column))].push_back(row);
      }
    }
    const auto value =
        ValueText(binding_.tables[other.table]->Get(rows[other.table], other.column));
    const auto found = value ? index.find(*value) : index.end();
    return found == index.end() ? std::vector<std::size_t>() : found->second;
  }
  std::vector<std::size_t> all(binding_.tables[table]->row_count());
  for (std::size_t row = 0; row < all.size(); ++row) all[row] = row;
  return all;
}

void View::Join(const SqlCondition* where, JoinedRow& rows, std::size_t table,
                std::vector<JoinedRow>& out) const {
  for (const std::size_t row : Candidates(where, rows, table)) {
    rows[table] = row;
    if (table > 0) {
      Join(where, rows, table - 1, out);
    } else if (where == nullptr || Matches(*where, rows)) {
      out.push_back(rows);
    }
  }
}

std::vector<View::JoinedRow> View::MatchingRows(const SqlCondition* where) const {
  indexes_.clear();
  std::vector<JoinedRow> out;
  JoinedRow rows(binding_.tables.size());
  Join(where, rows, binding_.tables.size() - 1, out);
  indexes_.clear();
  return out;
}

void View::SortRows(const std::vector<SqlColumn>& order_by, std::vector<JoinedRow>& rows) const {
  auto compare = [&](const JoinedRow& a, const JoinedRow& b, const ColumnRef& place) {
    const TableData& table = *binding_.tables[place.table];
    const FieldValue va = table.Get(a[place.table], place.column);
    const FieldValue vb = table.Get(b[place.table], place.column);
    if (IsNull(va) != IsNull(vb)) return IsNull(va) ? -1 : 1;
    if (table.schema().columns[place.column].type.is_string()) {
      const auto order_a = table.TextOrder(a[place.table], place.column);
      const auto order_b = table.TextOrder(b[place.table], place.column);
      if (order_a && order_b) return *order_a < *order_b ? -1 : *order_a == *order_b ? 0 : 1;
    }
    return CompareValues(va, vb).value_or(0);
  };
  std::stable_sort(rows.begin(), rows.end(), [&](const JoinedRow& a, const JoinedRow& b) {
    for (const SqlColumn& column : order_by) {
      const int compared = compare(a, b, binding_.named.at(&column));
      if (compared != 0) return compared < 0;
    }
    return false;
  });
}

FieldValue View::Output(std::size_t column, const JoinedRow& rows) const {
  const auto& place = binding_.columns[column];
  if (place) return binding_.tables[place->table]->Get(rows[place->table], place->column);
  return Evaluate(std::get<SqlSelect>(statement_).columns[column], rows);
}

ErrorCode View::RunSelect(const SqlSelect& select) {
  std::vector<JoinedRow> rows = MatchingRows(select.where.get());
  if (!select.order_by.empty()) SortRows(select.order_by, rows);
  result_keys_.clear();
  std::unordered_set<std::string> seen;
  for (const JoinedRow& joined : rows) {
    if (select.distinct) {
      std::string text;
      for (std::size_t column = 0; column < binding_.columns.size(); ++column) {
        // A stream equals no other row's.
        text += ValueText(Output(column, joined)).value_or("o" + std::to_string(seen.size()));
        text += ';';
      }
      if (!seen.insert(std::move(text)).second) continue;
    }
    std::vector<std::vector<FieldValue>> keys;
    for (std::size_t table = 0; table < joined.size(); ++table) {
      keys.push_back(binding_.tables[table]->KeyOf(joined[table]));
    }
    result_keys_.push_back(std::move(keys));
  }
  next_ = 0;
  return kSuccess;
}

ErrorCode View::RunInsert(const SqlInsert& insert) {
  std::vector<FieldValue> values(table_->schema().columns.size());
  for (std::size_t i = 0; i < binding_.columns.size(); ++i) {
    const std::size_t column = binding_.columns[i]->column;
    const ColumnType type = table_->schema().columns[column].type;
    // Empty text is no integer: a column that must hold one refuses it.
    const auto* text = std::get_if<std::string>(&insert.values[i]);
    if (text != nullptr && text->empty() && IsInteger(type) && !type.nullable()) {
      return kFunctionFailed;
    }
    values[column] = Evaluate(insert.values[i], {});
  }
  return table_->Insert(values, insert.temporary);
}

ErrorCode View::RunUpdate(const SqlUpdate& update) {
  const TableSchema& schema = table_->schema();
  std::vector<std::size_t> rows;
  for (const JoinedRow& joined : MatchingRows(update.where.get())) rows.push_back(joined[0]);
  std::vector<std::vector<FieldValue>> updated;
  for (const std::size_t row : rows) {
    std::vector<FieldValue> values;
    for (std::size_t column = 0; column < schema.columns.size(); ++column) {
      values.push_back(table_->Get(row, column));
    }
    for (const auto& [name, operand] : update.assignments) {
      const std::size_t column = *schema.FindColumn(name);
      if (schema.columns[column].type.key()) return kFunctionFailed;
      values[column] = Evaluate(operand, {row});
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
  std::vector<std::size_t> rows;
  for (const JoinedRow& joined : MatchingRows(where.get())) rows.push_back(joined[0]);
  return table_->EraseRows(rows);
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
  // A table may have been dropped and created anew since Prepare: its names are looked up
  // again, and a statement whose columns are gone fails.
  Binding binding;
  if (!BindNow(&binding)) {
    binding_ = Binding();
    table_ = nullptr;  // nothing may be written through the view until it executes again
    return kFunctionFailed;
  }
  binding_ = std::move(binding);
  table_ = binding_.tables[0].get();
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

void View::FillRecord(const JoinedRow& rows, Record& record) const {
  record.SetInteger(0, 1);  // what msi.dll puts in field 0 of the records it fetches
  for (std::size_t i = 0; i < binding_.columns.size(); ++i) {
    record.Set(static_cast<unsigned>(i + 1), Output(i, rows));
  }
  FetchOrigin origin{id_, {}};
  for (std::size_t table = 0; table < rows.size(); ++table) {
    origin.keys.push_back(binding_.tables[table]->KeyOf(rows[table]));
  }
  record.set_origin(std::move(origin));
}

ErrorCode View::Fetch(std::unique_ptr<Record>* out) {
  if (!executed_ || !std::holds_alternative<SqlSelect>(statement_) || database_->failed()) {
    return kFunctionFailed;
  }
  while (next_ < result_keys_.size()) {
    const auto& keys = result_keys_[next_++];
    JoinedRow rows;
    for (std::size_t table = 0; table < keys.size(); ++table) {
      const auto row = binding_.tables[table]->Find(keys[table]);
      if (!row) break;  // deleted since Execute
      rows.push_back(*row);
    }
    if (rows.size() != keys.size()) continue;
    auto record = std::make_unique<Record>(static_cast<unsigned>(binding_.columns.size()));
    FillRecord(rows, *record);
    *out = std::move(record);
    return kSuccess;
  }
  next_ = 0;  // as in msi.dll, the fetch after the end starts again from the first row
  return kNoMoreItems;
}

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
  // Each table takes the record's values of its own columns.
  for (std::size_t table = 0; table < binding_.tables.size(); ++table) {
    TableData& data = *binding_.tables[table];
    std::vector<FieldValue> values;
    for (std::size_t column = 0; column < data.schema().columns.size(); ++column) {
      values.push_back(data.Get((*rows)[table], column));
    }
    for (std::size_t i = 0; i < binding_.columns.size(); ++i) {
      const auto& place = binding_.columns[i];
      if (place && place->table == table) {
        values[place->column] = record.Get(static_cast<unsigned>(i + 1));
      }
    }
    if (data.Update((*rows)[table], values) != kSuccess) return kFunctionFailed;
  }
  return kSuccess;
}

ErrorCode View::Modify(ModifyMode mode, Record& record) {
  errors_.clear();
  if (!table_ || !std::holds_alternative<SqlSelect>(statement_) || database_->failed()) {
    return kFunctionFailed;
  }
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
      // Merging validates the row: without every key column, or with a value missing that
      // a column must have, there is nothing valid to merge.
      if (!ViewHasKey()) return kInvalidData;
      if (!whole_record) return kFunctionFailed;
      const auto row = RecordRow(record);
      if (row)
        return WithRecord(current(*row), record) == current(*row) ? kSuccess : kFunctionFailed;
      const std::vector<FieldValue> values = WithRecord(std::vector<FieldValue>(width), record);
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

std::unique_ptr<Record> View::ColumnInfo(bool types) const {
  if (!std::holds_alternative<SqlSelect>(statement_)) return std::make_unique<Record>(0);
  Binding binding;
  const Binding* bound = &binding_;
  if (!table_) {
    if (!BindNow(&binding)) return std::make_unique<Record>(0);
    bound = &binding;
  }
  auto record = std::make_unique<Record>(static_cast<unsigned>(bound->columns.size()));
  for (std::size_t i = 0; i < bound->columns.size(); ++i) {
    const auto& place = bound->columns[i];
    // A constant has no name; msi.dll gives its type as "f0".
    std::string text = types ? "f0" : "";
    if (place) {
      const ColumnDef& column = bound->tables[place->table]->schema().columns[place->column];
      text = types ? column.type.ToArchive() : column.name;
    }
    record->SetString(static_cast<unsigned>(i + 1), text);
  }
  return record;
}

void View::Close() {
  executed_ = false;
  result_keys_.clear();
  next_ = 0;
}

}  // namespace kb::msi

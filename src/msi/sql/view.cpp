#include "msi/sql/view.h"

#include "msi/sql/overloaded.h"
#include "msi/sql/sql_values.h"

namespace kb::msi {
namespace {

std::uint64_t NextViewId() {
  static std::uint64_t last = 0;
  return ++last;
}

}  // namespace

View::View(std::shared_ptr<Database> database, ParsedSql parsed)
    : database_(std::move(database)),
      statement_(std::move(parsed.statement)),
      markers_(parsed.markers),
      id_(NextViewId()) {}

ErrorCode View::Run(const SqlInsert& insert) {
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

ErrorCode View::Run(const SqlUpdate& update) {
  const TableSchema& schema = table_->schema();
  // A key is never changed, whether or not a row matches.
  for (const auto& assignment : update.assignments) {
    if (schema.columns[*schema.FindColumn(assignment.first)].type.key()) return kFunctionFailed;
  }
  std::vector<std::size_t> rows;
  for (const JoinedRow& joined : MatchingRows(update.where.get())) rows.push_back(joined[0]);
  std::vector<std::vector<FieldValue>> updated;
  for (const std::size_t row : rows) {
    std::vector<FieldValue> values;
    for (std::size_t column = 0; column < schema.columns.size(); ++column) {
      values.push_back(table_->Get(row, column));
    }
    for (const auto& [name, operand] : update.assignments) {
      values[*schema.FindColumn(name)] = Evaluate(operand, {row});
    }
    updated.push_back(std::move(values));
  }
  return table_->UpdateRows(rows, updated);
}

ErrorCode View::Run(const SqlAlter& alter) {
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

ErrorCode View::Run(const SqlDelete& remove) {
  std::vector<std::size_t> rows;
  for (const JoinedRow& joined : MatchingRows(remove.where.get())) rows.push_back(joined[0]);
  return table_->EraseRows(rows);
}

ErrorCode View::Run(const SqlCreate& create) {
  if (database_->OpenTable(create.schema.name)) return kBadQuerySyntax;
  return database_->CreateTable(create.schema, create.hold) == kSuccess ? kSuccess
                                                                        : kFunctionFailed;
}

ErrorCode View::Run(const SqlDrop& drop) {
  return database_->DropTable(drop.table) == kSuccess ? kSuccess : kFunctionFailed;
}

bool View::Rebind() {
  Binding binding;
  if (!BindNow(&binding)) {
    binding_ = Binding();
    table_ = nullptr;  // nothing may be written through the view until it executes again
    return false;
  }
  binding_ = std::move(binding);
  table_ = binding_.tables[0].get();
  return true;
}

ErrorCode View::Execute(const Record* parameters) {
  Close();
  if (database_->failed()) return kFunctionFailed;
  if (markers_ > 0 && (parameters == nullptr || parameters->field_count() < markers_)) {
    return kFunctionFailed;
  }
  return std::visit(Overloaded{[&](const SqlCreate& create) { return Run(create); },
                               [&](const SqlDrop& drop) { return Run(drop); },
                               [&](const SqlAlter& alter) { return Run(alter); },
                               // SELECT, INSERT, UPDATE and DELETE work on rows. A table may have
                               // been dropped and created anew since Prepare: its names are looked
                               // up again, and a statement whose columns are gone fails.
                               [&](const auto& on_rows) {
                                 if (!Rebind()) return kFunctionFailed;
                                 parameters_ = parameters;
                                 const ErrorCode error = Run(on_rows);
                                 parameters_ = nullptr;
                                 executed_ = error == kSuccess;
                                 return error == kSuccess ? kSuccess : kFunctionFailed;
                               }},
                    statement_);
}

void View::FillRecord(const JoinedRow& rows, Record& record) const {
  // Every Set succeeds: the record has a field for each of the view's columns (it was made for
  // them, fetched from this view, or checked for Seek). Field 0 holds 1, as in the records
  // msi.dll fetches.
  (void)record.SetInteger(0, 1);
  for (std::size_t i = 0; i < binding_.columns.size(); ++i) {
    (void)record.Set(static_cast<unsigned>(i + 1), Output(i, rows));
  }
  FetchOrigin origin{id_, {}};
  for (std::size_t table = 0; table < rows.size(); ++table) {
    origin.keys.push_back(binding_.tables[table]->KeyOf(rows[table]));
  }
  record.set_origin(std::move(origin));
}

ErrorCode View::Fetch(std::unique_ptr<Record>* out) {
  if (!executed_ || !select() || database_->failed()) {
    return kFunctionFailed;
  }
  if (streamed_) {
    const auto rows = NextStreamed();
    if (!rows) return kNoMoreItems;
    auto record = std::make_unique<Record>(static_cast<unsigned>(binding_.columns.size()));
    FillRecord(*rows, *record);
    *out = std::move(record);
    return kSuccess;
  }
  // As in msi.dll, the fetch after the end starts again from the first row.
  SortedRows::Row gathered;
  ErrorCode next = kSuccess;
  while ((next = sorted_->Next(&gathered)) == kSuccess) {
    const auto rows = GatheredNow(gathered);
    if (!rows) continue;
    auto record = std::make_unique<Record>(static_cast<unsigned>(binding_.columns.size()));
    FillRecord(*rows, *record);
    *out = std::move(record);
    return kSuccess;
  }
  return next;
}

std::unique_ptr<Record> View::ColumnInfo(bool types) const {
  if (!select()) return std::make_unique<Record>(0);
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
    (void)record->SetString(static_cast<unsigned>(i + 1), text);  // the record has the field
  }
  return record;
}

void View::Close() {
  executed_ = false;
  sorted_.reset();
  counts_at_execute_.clear();
  keys_at_execute_.clear();
  streamed_ = false;
  join_ = JoinCursor();
  distinct_seen_.clear();
  indexes_.clear();
}

}  // namespace kb::msi

// Binding: a statement's table and column names resolved against the database's tables, and
// the comparisons the installer refuses found before anything runs.

#include <algorithm>

#include "msi/sql/overloaded.h"
#include "msi/sql/sql_parser.h"
#include "msi/sql/sql_values.h"
#include "msi/sql/view.h"

namespace kb::msi {
namespace {

// The tables a statement works on, in the order it names them.
std::vector<std::string> TablesOf(const SqlStatement& statement) {
  using Names = std::vector<std::string>;
  return std::visit(
      Overloaded{[](const SqlSelect& select) -> Names { return select.tables; },
                 [](const SqlCreate& create) -> Names { return {create.schema.name}; },
                 [](const auto& other) -> Names { return {other.table}; }},
      statement);
}

bool IsOrdering(SqlCompare compare) {
  return compare == SqlCompare::kLess || compare == SqlCompare::kGreater ||
         compare == SqlCompare::kLessEqual || compare == SqlCompare::kGreaterEqual;
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
  return integers && std::get_if<std::string>(&condition.right) == nullptr;
}

}  // namespace

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
  auto bind_select = [&](const SqlSelect& select) {
    for (std::size_t table = 0; table < tables.size() && select.all_columns; ++table) {
      for (std::size_t i = 0; i < tables[table]->schema().columns.size(); ++i) {
        out->columns.push_back(ColumnRef{table, i});
      }
    }
    for (const SqlOperand& selected : select.columns) {
      const auto* column = std::get_if<SqlColumn>(&selected);
      const auto found = column ? Lookup(names, tables, *column) : std::nullopt;
      if (column != nullptr && !found) return false;
      out->columns.push_back(found ? std::optional(ColumnRef{found->first, found->second})
                                   : std::nullopt);
    }
    for (const SqlColumn& column : select.order_by) {
      const auto found = Lookup(names, tables, column);
      if (!found) return false;
      named[&column] = *found;
    }
    return bind_where(select.where.get());
  };
  out->columns.clear();
  const bool known = std::visit(
      Overloaded{bind_select,
                 [&](const SqlInsert& insert) {
                   return bind_names(insert.columns, [](const std::string& name) { return name; });
                 },
                 [&](const SqlUpdate& update) {
                   const bool bound =
                       bind_names(update.assignments, [](const auto& set) { return set.first; }) &&
                       bind_where(update.where.get());
                   out->columns.clear();  // an UPDATE selects nothing
                   return bound;
                 },
                 [&](const SqlDelete& remove) { return bind_where(remove.where.get()); },
                 [](const auto&) { return true; }},  // the others name no column
      statement);
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
  if (TablesOf(statement).size() > kMaxJoinedTables) {
    view->database_->set_last_refusal("a statement names at most " +
                                      std::to_string(kMaxJoinedTables) + " tables");
    return kBadQuerySyntax;
  }
  const bool drop = std::get_if<SqlDrop>(&statement) != nullptr;
  if (std::get_if<SqlCreate>(&statement) == nullptr) {
    std::vector<std::shared_ptr<TableData>> tables;
    for (const std::string& name : TablesOf(statement)) {
      auto table = view->database_->OpenTable(name);
      if (!table && !view->database_->HasTable(name)) return kBadQuerySyntax;
      // A table whose rows are damaged can still be dropped.
      if (!table && !drop) return kInvalidData;
      tables.push_back(std::move(table));
    }
    Binding binding;
    if (!drop) {
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

}  // namespace kb::msi

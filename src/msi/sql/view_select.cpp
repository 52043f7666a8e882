// Selecting rows: the values a row gives an operand, WHERE conditions, the join of several
// tables (through an index where an equality allows), ORDER BY and DISTINCT.

#include <algorithm>
#include <unordered_set>

#include "msi/sql/overloaded.h"
#include "msi/sql/sql_values.h"
#include "msi/sql/view.h"

namespace kb::msi {

FieldValue View::Evaluate(const SqlOperand& operand, const JoinedRow& rows) const {
  return std::visit(Overloaded{[&](const SqlColumn& column) -> FieldValue {
                                 const ColumnRef& place = binding_.named.at(&column);
                                 return binding_.tables[place.table]->Get(rows[place.table],
                                                                          place.column);
                               },
                               [&](const SqlMarker& marker) -> FieldValue {
                                 return parameters_ ? parameters_->Get(marker.index) : FieldValue();
                               },
                               [](int number) -> FieldValue { return number; },
                               [](const std::string& text) -> FieldValue {
                                 return text.empty() ? FieldValue() : FieldValue(text);
                               },
                               [](SqlNull) -> FieldValue { return FieldValue(); }},
                    operand);
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
  return Satisfies(condition.compare, Evaluate(condition.left, rows),
                   Evaluate(condition.right, rows));
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
  return Evaluate(select()->columns[column], rows);
}

ErrorCode View::Run(const SqlSelect& select) {
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

}  // namespace kb::msi

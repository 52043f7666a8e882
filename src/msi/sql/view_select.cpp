// Selecting rows: the values a row gives an operand, WHERE conditions, the join of several
// tables (through an index where an equality allows), ORDER BY and DISTINCT.

#include <algorithm>

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

View::Candidates View::CandidatesOf(const SqlCondition* where, const JoinedRow& rows,
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
    if (found == index.end()) return Candidates{nullptr, 0};
    return Candidates{&found->second, found->second.size()};
  }
  return Candidates{nullptr, binding_.tables[table]->row_count()};
}

std::optional<View::JoinedRow> View::NextJoined(const SqlCondition* where,
                                                JoinCursor& cursor) const {
  const std::size_t last = binding_.tables.size() - 1;
  // The level to go on from: the outermost at the start, one found again after a change, or
  // the innermost, one row on.
  std::size_t level = 0;
  if (!cursor.started) {
    cursor.started = true;
    cursor.levels.assign(binding_.tables.size(), {});
    cursor.rows.assign(binding_.tables.size(), 0);
    cursor.levels[last].candidates = CandidatesOf(where, cursor.rows, last);
    level = last;
  } else if (cursor.resume_at) {
    level = *cursor.resume_at;
    cursor.resume_at.reset();
  } else {
    ++cursor.levels[0].at;
  }
  for (;;) {
    JoinCursor::Level& here = cursor.levels[level];
    if (here.at >= here.candidates.count) {
      if (level == last) return std::nullopt;
      ++cursor.levels[++level].at;
      continue;
    }
    cursor.rows[level] = here.candidates.Row(here.at);
    if (level > 0) {
      --level;
      cursor.levels[level] = {CandidatesOf(where, cursor.rows, level), 0};
    } else if (where == nullptr || Matches(*where, cursor.rows)) {
      return cursor.rows;
    } else {
      ++here.at;
    }
  }
}

void View::FindPlaceAgain(const SqlCondition* where, JoinCursor& cursor) const {
  indexes_.clear();  // they list rows by their old places
  for (std::size_t level = cursor.levels.size(); level-- > 0;) {
    JoinCursor::Level& here = cursor.levels[level];
    here.candidates = CandidatesOf(where, cursor.rows, level);
    const auto row = binding_.tables[level]->Find(cursor.keys[level]);
    if (row) {
      // Candidates come in row order.
      std::size_t at = 0;
      while (at < here.candidates.count && here.candidates.Row(at) < *row) ++at;
      if (at < here.candidates.count && here.candidates.Row(at) == *row) {
        here.at = at;
        cursor.rows[level] = *row;
        continue;
      }
      here.at = at;
    }
    // The row given out here is gone, or no longer a candidate: the rows after it now stand
    // where it stood (or from where it would be), and the join goes on from there.
    cursor.resume_at = level;
    return;
  }
}

std::vector<View::JoinedRow> View::MatchingRows(const SqlCondition* where) const {
  indexes_.clear();
  std::vector<JoinedRow> out;
  JoinCursor cursor;
  while (auto rows = NextJoined(where, cursor)) out.push_back(std::move(*rows));
  indexes_.clear();
  return out;
}

SortedRows::Compare View::RowOrder(const std::vector<SqlColumn>& order_by) const {
  std::vector<ColumnRef> places;
  for (const SqlColumn& column : order_by) places.push_back(binding_.named.at(&column));
  auto compare = [this](SortedRows::Row a, SortedRows::Row b, const ColumnRef& place) {
    const TableData& table = *binding_.tables[place.table];
    const std::size_t row_a = a[place.table];
    const std::size_t row_b = b[place.table];
    if (table.schema().columns[place.column].type.is_string()) {
      const auto order_a = table.TextOrder(row_a, place.column);
      const auto order_b = table.TextOrder(row_b, place.column);
      // Null text is 0, before every string.
      if (order_a && order_b) return *order_a < *order_b ? -1 : *order_a == *order_b ? 0 : 1;
    }
    const FieldValue va = table.Get(row_a, place.column);
    const FieldValue vb = table.Get(row_b, place.column);
    if (IsNull(va) != IsNull(vb)) return IsNull(va) ? -1 : 1;
    return CompareValues(va, vb).value_or(0);
  };
  return [places = std::move(places), compare](SortedRows::Row a, SortedRows::Row b) {
    for (const ColumnRef& place : places) {
      const int compared = compare(a, b, place);
      if (compared != 0) return compared;
    }
    return 0;
  };
}

void View::KeepGatheredKeys(const std::vector<std::vector<bool>>& named) {
  changes_at_execute_ = database_->changes();
  keys_at_execute_.assign(named.size(), {});
  for (std::size_t table = 0; table < named.size(); ++table) {
    const TableData& data = *binding_.tables[table];
    counts_at_execute_.push_back(data.row_count());
    for (std::size_t row = 0; row < named[table].size(); ++row) {
      if (named[table][row]) keys_at_execute_[table].emplace(row, data.KeyOf(row));
    }
  }
}

std::optional<View::JoinedRow> View::GatheredNow(SortedRows::Row gathered) const {
  JoinedRow rows(gathered.begin(), gathered.end());
  bool moved = database_->changes() != changes_at_execute_;
  for (std::size_t table = 0; table < rows.size(); ++table) {
    // The `_Streams` list changes without the database counting it: its row count tells.
    moved = moved || binding_.tables[table]->row_count() != counts_at_execute_[table];
  }
  if (!moved) return rows;
  for (std::size_t table = 0; table < rows.size(); ++table) {
    const auto kept = keys_at_execute_[table].find(static_cast<std::uint32_t>(rows[table]));
    const auto row = kept != keys_at_execute_[table].end()
                         ? binding_.tables[table]->Find(kept->second)
                         : std::nullopt;
    if (!row) return std::nullopt;  // deleted since Execute
    rows[table] = *row;
  }
  return rows;
}

FieldValue View::Output(std::size_t column, const JoinedRow& rows) const {
  const auto& place = binding_.columns[column];
  if (place) return binding_.tables[place->table]->Get(rows[place->table], place->column);
  // The columns * stands for come before those the list names.
  const std::size_t listed_from = binding_.columns.size() - select()->columns.size();
  return Evaluate(select()->columns[column - listed_from], rows);
}

std::string View::DistinctText(const JoinedRow& rows) const {
  std::string text;
  for (std::size_t column = 0; column < binding_.columns.size(); ++column) {
    // A stream equals no other row's.
    text += ValueText(Output(column, rows)).value_or("o" + std::to_string(next_stream_++));
    text += ';';
  }
  return text;
}

ErrorCode View::GatherRows(const SqlSelect& select) {
  const std::size_t width = binding_.tables.size();
  sorted_.emplace(width, select.order_by.empty() ? nullptr : RowOrder(select.order_by),
                  sort_budget_);
  // The rows of each table that gathered rows name, whose keys find them again after a change.
  std::vector<std::vector<bool>> named(width);
  for (std::size_t table = 0; table < width; ++table) {
    named[table].resize(binding_.tables[table]->row_count());
  }
  std::vector<std::uint32_t> numbers(width);
  JoinCursor cursor;
  while (const auto rows = NextJoined(select.where.get(), cursor)) {
    for (std::size_t table = 0; table < width; ++table) {
      numbers[table] = static_cast<std::uint32_t>((*rows)[table]);
      named[table][numbers[table]] = true;
    }
    if (sorted_->Add(numbers) != kSuccess) return kFunctionFailed;
  }
  indexes_.clear();
  SortedRows::Keep first_of_equals;
  if (select.distinct) {
    first_of_equals = [this](SortedRows::Row row) {
      return distinct_seen_.insert(DistinctText(JoinedRow(row.begin(), row.end()))).second;
    };
  }
  const ErrorCode sorted = sorted_->Finish(first_of_equals);
  distinct_seen_.clear();
  if (sorted != kSuccess) return kFunctionFailed;
  KeepGatheredKeys(named);
  return kSuccess;
}

ErrorCode View::Run(const SqlSelect& select) {
  // A join's rows can be far more than memory holds: unless they must be sorted first, they
  // are found as Fetch asks for them.
  streamed_ = binding_.tables.size() > 1 && select.order_by.empty();
  return streamed_ ? kSuccess : GatherRows(select);
}

std::optional<View::JoinedRow> View::NextStreamed() {
  const SqlCondition* where = select()->where.get();
  if (join_.started && join_.changes != database_->changes()) FindPlaceAgain(where, join_);
  while (auto rows = NextJoined(where, join_)) {
    if (select()->distinct && !distinct_seen_.insert(DistinctText(*rows)).second) continue;
    join_.keys.clear();
    for (std::size_t table = 0; table < rows->size(); ++table) {
      join_.keys.push_back(binding_.tables[table]->KeyOf((*rows)[table]));
    }
    join_.changes = database_->changes();
    return rows;
  }
  // The fetch after the last starts again from the first row.
  join_ = JoinCursor();
  distinct_seen_.clear();
  indexes_.clear();
  return std::nullopt;
}

}  // namespace kb::msi

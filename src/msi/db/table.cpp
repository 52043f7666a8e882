#include "msi/db/table.h"

#include <algorithm>

namespace kb::msi {

std::vector<Cell> Table::KeyOf(const Row& row) const {
  std::vector<Cell> key;
  key.reserve(key_columns_.size());
  for (const std::size_t column : key_columns_) key.push_back(row.cells[column]);
  return key;
}

std::size_t Table::LowerBound(std::span<const Cell> key) const {
  const auto it = std::partition_point(rows_.begin(), rows_.end(), [&](const Row& row) {
    for (std::size_t k = 0; k < key_columns_.size(); ++k) {
      const Cell cell = row.cells[key_columns_[k]];
      if (cell != key[k]) return cell < key[k];
    }
    return false;
  });
  return static_cast<std::size_t>(it - rows_.begin());
}

std::optional<std::size_t> Table::Find(std::span<const Cell> key) const {
  if (key.size() != key_columns_.size()) return std::nullopt;
  const std::size_t at = LowerBound(key);
  if (at == rows_.size() || KeyOf(rows_[at]) != std::vector<Cell>(key.begin(), key.end())) {
    return std::nullopt;
  }
  return at;
}

bool Table::Insert(Row row) {
  const std::vector<Cell> key = KeyOf(row);
  if (Find(key)) return false;
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(LowerBound(key)), std::move(row));
  return true;
}

void Table::Replace(std::size_t index, Row row) {
  rows_[index] = std::move(row);
}

void Table::Erase(std::size_t index) {
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
}

void Table::Load(std::vector<Row> rows) {
  rows_ = std::move(rows);
  std::stable_sort(rows_.begin(), rows_.end(),
                   [&](const Row& a, const Row& b) { return KeyOf(a) < KeyOf(b); });
}

std::shared_ptr<Table> Table::Reshaped(TableSchema schema,
                                       std::span<const std::optional<std::size_t>> sources) const {
  auto table = std::make_shared<Table>(std::move(schema));
  table->rows_.reserve(rows_.size());
  for (const Row& row : rows_) {
    Row reshaped{std::vector<Cell>(sources.size(), 0), row.temporary};
    for (std::size_t i = 0; i < sources.size(); ++i) {
      if (sources[i]) reshaped.cells[i] = row.cells[*sources[i]];
    }
    table->rows_.push_back(std::move(reshaped));
  }
  return table;
}

}  // namespace kb::msi

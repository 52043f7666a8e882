#ifndef KITBINDER_MSI_DB_TABLE_H_
#define KITBINDER_MSI_DB_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "msi/db/table_schema.h"

namespace kb::msi {

// One cell as the table stream stores it: 0 is null; a short integer is its value + 0x8000, a
// long one its value + 0x80000000; a string is its string pool id; an object cell is 1 when
// the row has a stream.
using Cell = std::uint32_t;

struct Row {
  std::vector<Cell> cells;  // one per schema column
  bool temporary = false;   // inserted with TEMPORARY: never written
};

// The rows of one table in memory, kept ordered by primary key as the installer stores them:
// by the raw key cells, so integer keys sort numerically and string keys by pool id.
class Table {
 public:
  explicit Table(TableSchema schema) : schema_(std::move(schema)) {}

  const TableSchema& schema() const { return schema_; }
  std::size_t row_count() const { return rows_.size(); }
  const Row& row(std::size_t index) const { return rows_[index]; }
  const std::vector<Row>& rows() const { return rows_; }

  // The key cells of a row, in key column order.
  std::vector<Cell> KeyOf(const Row& row) const;
  // The index of the row whose key cells are `key`; nullopt when there is none.
  [[nodiscard]] std::optional<std::size_t> Find(std::span<const Cell> key) const;

  // Adds a row at its place in key order. False, changing nothing, when its key is taken.
  // REQUIRES: row.cells.size() == schema().columns.size().
  [[nodiscard]] bool Insert(Row row);
  // Replaces the row at `index` by one with the same key.
  void Replace(std::size_t index, Row row);
  void Erase(std::size_t index);

  // Rows as decoded from a stream, in stored order (they are put in key order).
  void Load(std::vector<Row> rows);

  // A copy with `schema` whose column i holds this table's column sources[i], or nulls where
  // that is nullopt. REQUIRES: sources.size() == schema.columns.size(); the key columns are
  // those of this table, in the same order.
  std::shared_ptr<Table> Reshaped(TableSchema schema,
                                  std::span<const std::optional<std::size_t>> sources) const;

 private:
  std::size_t LowerBound(std::span<const Cell> key) const;

  TableSchema schema_;
  std::vector<std::size_t> key_columns_ = schema_.KeyColumns();
  std::vector<Row> rows_;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_TABLE_H_

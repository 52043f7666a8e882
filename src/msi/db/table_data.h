#ifndef KITBINDER_MSI_DB_TABLE_DATA_H_
#define KITBINDER_MSI_DB_TABLE_DATA_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "msi/db/error_code.h"
#include "msi/db/record.h"
#include "msi/db/table_schema.h"

namespace kb::msi {

// A table as the SQL layer sees it: rows of UTF-8 values, found again by primary key. Stored
// tables, the `_Streams` view of the storage and the read-only catalog tables all offer it.
// Row indexes are valid until the next change.
class TableData {
 public:
  virtual ~TableData() = default;

  virtual const TableSchema& schema() const = 0;
  virtual std::size_t row_count() const = 0;
  // REQUIRES: row < row_count(), column < schema().columns.size().
  virtual FieldValue Get(std::size_t row, std::size_t column) const = 0;
  // The row whose primary key values are `key` (in key column order).
  [[nodiscard]] virtual std::optional<std::size_t> Find(std::span<const FieldValue> key) const = 0;

  // Changes take one value per schema column. They answer kFunctionFailed for a taken key, a
  // null in a key column that needs a value, text the code page cannot hold, or a read-only
  // table;
  // kDatatypeMismatch for a value of the wrong type.
  virtual ErrorCode Insert(std::span<const FieldValue> values, bool temporary) = 0;
  // REQUIRES: the key values equal those of `row`.
  virtual ErrorCode Update(std::size_t row, std::span<const FieldValue> values) = 0;
  // What Update would answer, changing nothing; only the system can still refuse a stream
  // after kSuccess here.
  [[nodiscard]] virtual ErrorCode CheckUpdate(std::size_t row,
                                              std::span<const FieldValue> values) const = 0;
  virtual ErrorCode Erase(std::size_t row) = 0;

  // The changes of one statement: every row `rows[i]` takes `values[i]`, or is removed. A table
  // whose changes can be refused row by row overrides these so that a refusal leaves every row
  // as it was; these plain ones stop at the first refusal.
  // REQUIRES: rows.size() == values.size(); rows in ascending order, each once.
  virtual ErrorCode UpdateRows(std::span<const std::size_t> rows,
                               std::span<const std::vector<FieldValue>> values) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (const ErrorCode error = Update(rows[i], values[i]); error != kSuccess) return error;
    }
    return kSuccess;
  }
  virtual ErrorCode EraseRows(std::span<const std::size_t> rows) {
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
      if (const ErrorCode error = Erase(*it); error != kSuccess) return error;
    }
    return kSuccess;
  }

  // Where ORDER BY puts a text cell among the column's others: the installer sorts text by its
  // place in the string pool, which keeps equal texts together but does not alphabetize them.
  // nullopt for a table without a string pool behind it, whose text is compared as text.
  // REQUIRES: the column holds text.
  [[nodiscard]] virtual std::optional<std::uint32_t> TextOrder(std::size_t /*row*/,
                                                               std::size_t /*column*/) const {
    return std::nullopt;
  }

  std::vector<FieldValue> KeyOf(std::size_t row) const {
    std::vector<FieldValue> key;
    for (const std::size_t column : schema().KeyColumns()) key.push_back(Get(row, column));
    return key;
  }
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_TABLE_DATA_H_

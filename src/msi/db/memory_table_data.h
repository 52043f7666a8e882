#ifndef KITBINDER_MSI_DB_MEMORY_TABLE_DATA_H_
#define KITBINDER_MSI_DB_MEMORY_TABLE_DATA_H_

#include <vector>

#include "msi/db/table_data.h"

namespace kb::msi {

// A read-only table of values made on the spot: the catalog (`_Tables`, `_Columns`), which SQL
// may read but not change. Rows are given in key order.
class MemoryTableData : public TableData {
 public:
  MemoryTableData(TableSchema schema, std::vector<std::vector<FieldValue>> rows)
      : schema_(std::move(schema)), rows_(std::move(rows)) {}

  const TableSchema& schema() const override { return schema_; }
  std::size_t row_count() const override { return rows_.size(); }
  FieldValue Get(std::size_t row, std::size_t column) const override { return rows_[row][column]; }
  [[nodiscard]] std::optional<std::size_t> Find(std::span<const FieldValue> key) const override;
  ErrorCode Insert(std::span<const FieldValue>, bool) override { return kFunctionFailed; }
  ErrorCode Update(std::size_t, std::span<const FieldValue>) override { return kFunctionFailed; }
  ErrorCode CheckUpdate(std::size_t, std::span<const FieldValue>) const override {
    return kFunctionFailed;
  }
  ErrorCode Erase(std::size_t) override { return kFunctionFailed; }

 private:
  TableSchema schema_;
  std::vector<std::vector<FieldValue>> rows_;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_MEMORY_TABLE_DATA_H_

#ifndef KITBINDER_MSI_DB_STREAMS_TABLE_DATA_H_
#define KITBINDER_MSI_DB_STREAMS_TABLE_DATA_H_

#include <memory>
#include <string>
#include <vector>

#include "msi/db/database.h"
#include "msi/db/table_data.h"

namespace kb::msi {

// The `_Streams` table: one row (`Name`, `Data`) per stream of the storage that is not a table.
// Inserting a row with a null `Data` makes an empty stream, so that its data can be given later
// by updating the fetched row.
class StreamsTableData : public TableData {
 public:
  explicit StreamsTableData(std::shared_ptr<Database> database);

  static TableSchema Schema();

  const TableSchema& schema() const override { return schema_; }
  std::size_t row_count() const override { return names_.size(); }
  FieldValue Get(std::size_t row, std::size_t column) const override;
  [[nodiscard]] std::optional<std::size_t> Find(std::span<const FieldValue> key) const override;
  ErrorCode Insert(std::span<const FieldValue> values, bool temporary) override;
  ErrorCode CheckUpdate(std::size_t row, std::span<const FieldValue> values) const override;
  ErrorCode Update(std::size_t row, std::span<const FieldValue> values) override;
  ErrorCode Erase(std::size_t row) override;

 private:
  std::shared_ptr<Database> database_;
  TableSchema schema_ = Schema();
  std::vector<std::string> names_;  // sorted
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_STREAMS_TABLE_DATA_H_

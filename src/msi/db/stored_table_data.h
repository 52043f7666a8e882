#ifndef KITBINDER_MSI_DB_STORED_TABLE_DATA_H_
#define KITBINDER_MSI_DB_STORED_TABLE_DATA_H_

#include <memory>
#include <string>

#include "msi/db/database.h"
#include "msi/db/table_data.h"

namespace kb::msi {

// A table of a database (stored or temporary) seen as values: text is converted between UTF-8
// and the database's code page, integers lose their stored offset, and object cells become
// stream fields whose bytes are read from the storage on demand. Once the table is dropped (or
// dropped and created again) every change answers kFunctionFailed. Changes of several rows
// happen to all of them, streams included, or to none. A value an update leaves as it was
// keeps its stored bytes.
class StoredTableData : public TableData {
 public:
  StoredTableData(std::shared_ptr<Database> database, std::shared_ptr<Table> table)
      : database_(std::move(database)), table_(std::move(table)) {}

  const TableSchema& schema() const override { return table_->schema(); }
  std::size_t row_count() const override { return table_->row_count(); }
  FieldValue Get(std::size_t row, std::size_t column) const override;
  [[nodiscard]] std::optional<std::size_t> Find(std::span<const FieldValue> key) const override;
  [[nodiscard]] std::optional<std::uint32_t> TextOrder(std::size_t row,
                                                       std::size_t column) const override {
    return table_->row(row).cells[column];  // the pool id, 0 (first) for null
  }
  ErrorCode CheckUpdate(std::size_t row, std::span<const FieldValue> values) const override;
  ErrorCode Insert(std::span<const FieldValue> values, bool temporary) override;
  ErrorCode Update(std::size_t row, std::span<const FieldValue> values) override;
  ErrorCode Erase(std::size_t row) override;
  ErrorCode UpdateRows(std::span<const std::size_t> rows,
                       std::span<const std::vector<FieldValue>> values) override;
  ErrorCode EraseRows(std::span<const std::size_t> rows) override;

 private:
  // The stored cells of `values`, or the error that refuses them.
  ErrorCode ToCells(std::span<const FieldValue> values, std::vector<Cell>* cells) const;
  ErrorCode ToCell(const FieldValue& value, const ColumnDef& column, Cell* cell) const;
  // kFunctionFailed when the database is read-only or no longer holds this table.
  ErrorCode CheckWritable() const;
  // Adds the object streams of a row with `values` to `out`: each stream's name and value.
  void AddObjectStreams(std::span<const FieldValue> values,
                        std::vector<std::pair<std::u16string, FieldValue>>* out) const;
  // `row` as it would be with `values`, or the error that refuses them.
  ErrorCode UpdatedRow(std::size_t row, std::span<const FieldValue> values, Row* out) const;
  // The key values that name the row's object streams.
  std::vector<FieldValue> StreamKeyOf(std::size_t row) const;

  std::shared_ptr<Database> database_;
  std::shared_ptr<Table> table_;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_STORED_TABLE_DATA_H_

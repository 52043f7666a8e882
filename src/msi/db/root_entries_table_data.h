#ifndef KITBINDER_MSI_DB_ROOT_ENTRIES_TABLE_DATA_H_
#define KITBINDER_MSI_DB_ROOT_ENTRIES_TABLE_DATA_H_

#include <memory>
#include <string>
#include <vector>

#include "msi/db/database.h"
#include "msi/db/table_data.h"

namespace kb::msi {

// A table with one row (`Name`, `Data`) per entry of one kind directly in the database's
// storage. Changes are staged in the storage at once and written at commit.
//
// `_Streams` lists the streams that are not tables, under their folded names. Inserting a row
// with a null `Data` makes an empty stream, so that its data can be given later by updating
// the fetched row.
//
// `_Storages` lists the sub-storages, stored under their plain names. A row's `Data` is given
// as a stream holding a compound file (a transform, a nested database), whose whole tree
// becomes the sub-storage at commit; a stream that is no compound file is refused, and so is a
// null `Data`, as an empty storage is of no use. Read back, `Data` names the storage and reads
// as no bytes. Updating `Data` to null deletes the storage, as deleting the row does.
class RootEntriesTableData : public TableData {
 public:
  enum class Kind { kStreams, kStorages };

  RootEntriesTableData(std::shared_ptr<Database> database, Kind kind);

  const TableSchema& schema() const override { return schema_; }
  std::size_t row_count() const override { return rows_.size(); }
  FieldValue Get(std::size_t row, std::size_t column) const override;
  [[nodiscard]] std::optional<std::size_t> Find(std::span<const FieldValue> key) const override;
  // kFunctionFailed for a read-only database, a name that is null or taken or that the storage
  // cannot hold, or `Data` the storage refuses; kDatatypeMismatch for `Data` that is neither
  // null nor a stream.
  ErrorCode Insert(std::span<const FieldValue> values, bool temporary) override;
  // Updates change `Data` only: kFunctionFailed for a changed `Name`.
  ErrorCode CheckUpdate(std::size_t row, std::span<const FieldValue> values) const override;
  ErrorCode Update(std::size_t row, std::span<const FieldValue> values) override;
  ErrorCode Erase(std::size_t row) override;

 private:
  struct Entry {
    std::string name;       // as the table shows it
    std::u16string stored;  // as the storage holds it
  };

  // The entries of the storage, in name order.
  std::vector<Entry> ListEntries() const;
  // Stages `data` (a stream field, or null for the entry's removal) under `stored`.
  ErrorCode Store(const std::u16string& stored, const FieldValue& data);

  std::shared_ptr<Database> database_;
  Kind kind_;
  TableSchema schema_;
  std::vector<Entry> rows_;  // sorted by name
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_ROOT_ENTRIES_TABLE_DATA_H_

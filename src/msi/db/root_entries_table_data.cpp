#include "msi/db/root_entries_table_data.h"

#include <algorithm>

#include "msi/db/stream_name.h"

namespace kb::msi {

RootEntriesTableData::RootEntriesTableData(std::shared_ptr<Database> database, Kind kind)
    : database_(std::move(database)),
      kind_(kind),
      schema_{kind == Kind::kStreams ? "_Streams" : "_Storages",
              {{"Name", ColumnType::String(62).With(ColumnType::kKey, true)},
               {"Data", ColumnType::Object().With(ColumnType::kNullable, true)}}},
      rows_(ListEntries()) {}

std::vector<RootEntriesTableData::Entry> RootEntriesTableData::ListEntries() const {
  std::vector<Entry> entries;
  if (kind_ == Kind::kStorages) {
    for (std::u16string& stored : database_->storage().StorageNames()) {
      std::string name = DecodeStorageName(stored);
      entries.push_back({std::move(name), std::move(stored)});
    }
  } else {
    for (const std::u16string& stored : database_->storage().StreamNames()) {
      DecodedStreamName decoded = DecodeStreamName(stored);
      if (decoded.is_table) continue;
      std::u16string folded = EncodeStreamName(decoded.name, false);
      entries.push_back({std::move(decoded.name), std::move(folded)});
    }
  }
  std::ranges::sort(entries, {}, &Entry::name);
  return entries;
}

FieldValue RootEntriesTableData::Get(std::size_t row, std::size_t column) const {
  if (column == 0) return rows_[row].name;
  const std::u16string& stored = rows_[row].stored;
  if (kind_ == Kind::kStorages) return StreamField{std::make_shared<SubStorageSource>(stored), 0};
  const auto size = database_->storage().StreamSize(stored);
  if (!size) return std::monostate();
  return StreamField{
      std::make_shared<StoredStreamSource>(database_->shared_storage(), stored, *size), 0};
}

std::optional<std::size_t> RootEntriesTableData::Find(std::span<const FieldValue> key) const {
  const auto* name = key.size() == 1 ? std::get_if<std::string>(&key[0]) : nullptr;
  if (name == nullptr) return std::nullopt;
  const auto it = std::ranges::lower_bound(rows_, *name, {}, &Entry::name);
  if (it == rows_.end() || it->name != *name) return std::nullopt;
  return static_cast<std::size_t>(it - rows_.begin());
}

ErrorCode RootEntriesTableData::Insert(std::span<const FieldValue> values, bool /*temporary*/) {
  const auto* name = values.size() == 2 ? std::get_if<std::string>(&values[0]) : nullptr;
  if (database_->read_only() || name == nullptr || Find(values.first(1))) return kFunctionFailed;
  const FieldValue& data = values[1];
  if (!std::holds_alternative<std::monostate>(data) && !std::holds_alternative<StreamField>(data)) {
    return kDatatypeMismatch;
  }
  Entry entry{*name,
              kind_ == Kind::kStorages ? EncodeStorageName(*name) : EncodeStreamName(*name, false)};
  ErrorCode error = kFunctionFailed;
  if (!std::holds_alternative<std::monostate>(data)) {
    error = Store(entry.stored, data);
  } else if (kind_ == Kind::kStreams &&
             database_->storage().WriteStream(entry.stored, {}) == StorageError::kNone) {
    error = kSuccess;
  }
  if (error != kSuccess) return error;
  rows_.insert(std::ranges::lower_bound(rows_, *name, {}, &Entry::name), std::move(entry));
  return kSuccess;
}

ErrorCode RootEntriesTableData::CheckUpdate(std::size_t row,
                                            std::span<const FieldValue> values) const {
  // Entries are not renamed: a changed name is refused rather than ignored.
  if (database_->read_only() || values.size() != 2 || values[0] != FieldValue(rows_[row].name)) {
    return kFunctionFailed;
  }
  // A storage's data set to null deletes the storage, as documented.
  const bool removal =
      kind_ == Kind::kStorages && std::holds_alternative<std::monostate>(values[1]);
  if (!removal && !std::holds_alternative<StreamField>(values[1])) return kDatatypeMismatch;
  return database_->CheckStream(rows_[row].stored, values[1]);
}

ErrorCode RootEntriesTableData::Update(std::size_t row, std::span<const FieldValue> values) {
  if (const ErrorCode error = CheckUpdate(row, values); error != kSuccess) return error;
  return Store(rows_[row].stored, values[1]);
}

ErrorCode RootEntriesTableData::Erase(std::size_t row) {
  if (database_->read_only()) return kFunctionFailed;
  const ErrorCode error = Store(rows_[row].stored, std::monostate());
  if (error == kSuccess) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
  return error;
}

ErrorCode RootEntriesTableData::Store(const std::u16string& stored, const FieldValue& data) {
  return kind_ == Kind::kStorages ? database_->StoreStorage(stored, data)
                                  : database_->StoreStream(stored, data);
}

}  // namespace kb::msi

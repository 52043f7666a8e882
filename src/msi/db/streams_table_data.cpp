#include "msi/db/streams_table_data.h"

#include <algorithm>

#include "msi/db/stream_name.h"

namespace kb::msi {
namespace {

std::u16string StoredName(const std::string& name) {
  return EncodeStreamName(name, false);
}

}  // namespace

TableSchema StreamsTableData::Schema() {
  return {"_Streams",
          {{"Name", ColumnType::String(62).With(ColumnType::kKey, true)},
           {"Data", ColumnType::Object().With(ColumnType::kNullable, true)}}};
}

StreamsTableData::StreamsTableData(std::shared_ptr<Database> database)
    : database_(std::move(database)) {
  for (const std::u16string& stored : database_->storage().StreamNames()) {
    DecodedStreamName decoded = DecodeStreamName(stored);
    if (!decoded.is_table) names_.push_back(std::move(decoded.name));
  }
  std::sort(names_.begin(), names_.end());
}

FieldValue StreamsTableData::Get(std::size_t row, std::size_t column) const {
  if (column == 0) return names_[row];
  const std::u16string stored = StoredName(names_[row]);
  const auto size = database_->storage().StreamSize(stored);
  if (!size) return std::monostate();
  return StreamField{
      std::make_shared<StoredStreamSource>(database_->shared_storage(), stored, *size), 0};
}

std::optional<std::size_t> StreamsTableData::Find(std::span<const FieldValue> key) const {
  const auto* name = key.size() == 1 ? std::get_if<std::string>(&key[0]) : nullptr;
  if (name == nullptr) return std::nullopt;
  const auto it = std::lower_bound(names_.begin(), names_.end(), *name);
  if (it == names_.end() || *it != *name) return std::nullopt;
  return static_cast<std::size_t>(it - names_.begin());
}

ErrorCode StreamsTableData::Insert(std::span<const FieldValue> values, bool /*temporary*/) {
  const auto* name = values.size() == 2 ? std::get_if<std::string>(&values[0]) : nullptr;
  if (database_->read_only() || name == nullptr || Find(values.first(1))) return kFunctionFailed;
  const FieldValue& data = values[1];
  if (!std::holds_alternative<std::monostate>(data) && !std::holds_alternative<StreamField>(data)) {
    return kDatatypeMismatch;
  }
  const ErrorCode error =
      std::holds_alternative<std::monostate>(data)
          ? (database_->storage().WriteStream(StoredName(*name), {}) == StorageError::kNone
                 ? kSuccess
                 : kFunctionFailed)
          : database_->StoreStream(StoredName(*name), data);
  if (error != kSuccess) return error;
  names_.insert(std::lower_bound(names_.begin(), names_.end(), *name), *name);
  return kSuccess;
}

ErrorCode StreamsTableData::CheckUpdate(std::size_t row, std::span<const FieldValue> values) const {
  if (database_->read_only() || values.size() != 2) return kFunctionFailed;
  if (!std::holds_alternative<StreamField>(values[1])) return kDatatypeMismatch;
  return database_->CheckStream(StoredName(names_[row]), values[1]);
}

ErrorCode StreamsTableData::Update(std::size_t row, std::span<const FieldValue> values) {
  if (const ErrorCode error = CheckUpdate(row, values); error != kSuccess) return error;
  return database_->StoreStream(StoredName(names_[row]), values[1]);
}

ErrorCode StreamsTableData::Erase(std::size_t row) {
  if (database_->read_only()) return kFunctionFailed;
  const ErrorCode error = database_->StoreStream(StoredName(names_[row]), std::monostate());
  if (error == kSuccess) names_.erase(names_.begin() + static_cast<std::ptrdiff_t>(row));
  return error;
}

}  // namespace kb::msi

#include "msi/db/database.h"

#include <algorithm>

#include "msi/db/code_page_text.h"
#include "msi/db/memory_table_data.h"
#include "msi/db/root_entries_table_data.h"
#include "msi/db/stored_table_data.h"
#include "msi/db/stream_name.h"
#include "msi/db/table_codec.h"
#include "msi/storage/cfb_format.h"
#include "msi/storage/file_io.h"
#include "msi/storage/staged_stream.h"

namespace kb::msi {
namespace {

// Table streams are read whole; this bounds what a damaged file can make us allocate.
constexpr std::size_t kTableStreamLimit = std::size_t{1} << 30;

constexpr std::string_view kPoolStream = "_StringPool";
constexpr std::string_view kDataStream = "_StringData";
constexpr std::string_view kTablesTable = "_Tables";
constexpr std::string_view kColumnsTable = "_Columns";
constexpr std::string_view kStreamsTable = "_Streams";
constexpr std::string_view kStoragesTable = "_Storages";

ColumnType KeyString(std::uint8_t size) {
  return ColumnType::String(size).With(ColumnType::kKey, true);
}

TableSchema TablesSchema() {
  return {std::string(kTablesTable), {{"Name", KeyString(64)}}};
}

TableSchema ColumnsSchema() {
  return {std::string(kColumnsTable),
          {{"Table", KeyString(64)},
           {"Number", ColumnType::Short().With(ColumnType::kKey, true)},
           {"Name", ColumnType::String(64)},
           {"Type", ColumnType::Short()}}};
}

bool IsReservedName(std::string_view name) {
  return name == kTablesTable || name == kColumnsTable || name == kStreamsTable ||
         name == kStoragesTable;
}

// The names whose streams the storage keeps for itself: a table of one of these names would
// take the string pool's place (or the catalog's) in the file.
bool IsStorageName(std::string_view name) {
  return IsReservedName(name) || name == kPoolStream || name == kDataStream;
}

std::u16string TableStreamName(std::string_view name) {
  return EncodeStreamName(name, true);
}

std::string KeyText(const FieldValue& value) {
  if (const auto* number = std::get_if<int>(&value)) return std::to_string(*number);
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  return std::string();
}

}  // namespace

Database::Database(std::shared_ptr<CompoundFile> storage, OpenMode mode)
    : storage_(std::move(storage)), mode_(mode) {}

Database::~Database() {
  // A direct database commits when its last handle goes; there is no one left to tell of a
  // failure, and a failed commit leaves the file in its last committed state.
  if (mode_ == OpenMode::kDirect || mode_ == OpenMode::kCreateDirect) (void)Commit();
}

ErrorCode Database::Open(const std::string& path, OpenMode mode, std::shared_ptr<Database>* out,
                         std::string* failure) {
  StorageError error = StorageError::kNone;
  const bool create = mode == OpenMode::kCreate || mode == OpenMode::kCreateDirect;
  std::unique_ptr<CompoundFile> file =
      create ? CompoundFile::Create(path, kInstallerDatabaseClsid, &error)
             : CompoundFile::Open(path,
                                  mode == OpenMode::kReadOnly ? CompoundFile::Mode::kReadOnly
                                                              : CompoundFile::Mode::kReadWrite,
                                  &error);
  if (!file) return create ? kCreateFailed : kOpenFailed;
  return Start(std::move(file), mode, out, failure);
}

ErrorCode Database::OpenWithOutput(const std::string& path, const std::string& output,
                                   std::shared_ptr<Database>* out, std::string* failure) {
  StorageError error = StorageError::kNone;
  auto file = CompoundFile::OpenWithOutput(path, output, &error);
  if (!file) return kOpenFailed;
  const ErrorCode started = Start(std::move(file), OpenMode::kTransact, out, failure);
  if (started == kSuccess) (*out)->writes_elsewhere_ = true;
  return started;
}

ErrorCode Database::Start(std::unique_ptr<CompoundFile> file, OpenMode mode,
                          std::shared_ptr<Database>* out, std::string* failure) {
  std::shared_ptr<Database> database(new Database(std::move(file), mode));
  if (mode == OpenMode::kCreate || mode == OpenMode::kCreateDirect) {
    database->catalog_dirty_ = true;
    database->tables_changed_ = true;
  } else if (database->LoadCatalog(failure) != kSuccess) {
    return kOpenFailed;
  }
  *out = std::move(database);
  return kSuccess;
}

ErrorCode Database::LoadCatalog(std::string* failure) {
  StorageError error = StorageError::kNone;
  const auto pool =
      storage_->ReadWholeStream(TableStreamName(kPoolStream), kTableStreamLimit, &error);
  if (!pool) return kOpenFailed;
  auto data = storage_->ReadWholeStream(TableStreamName(kDataStream), kTableStreamLimit, &error);
  if (!data && error != StorageError::kNotFound) return kOpenFailed;
  auto decoded_pool = StringPool::Decode(*pool, data ? *data : std::vector<std::byte>());
  if (!decoded_pool) return kOpenFailed;
  pool_ = std::move(*decoded_pool);
  if (!IsSupportedCodePage(pool_.code_page())) {
    // No text of it could be shown or changed: listing no tables would present it as empty.
    if (failure != nullptr) {
      *failure = "its text is in code page " + std::to_string(pool_.code_page()) +
                 "; only code pages 0, 1252 and 65001 can be read";
    }
    return kOpenFailed;
  }

  Table tables(TablesSchema());
  Table columns(ColumnsSchema());
  for (Table* catalog : {&tables, &columns}) {
    auto rows = ReadRows(catalog->schema());
    if (!rows) return kOpenFailed;
    catalog->Load(std::move(*rows));
  }
  // A name that does not decode could not be found again when the pool is recounted at commit.
  bool names_decode = true;
  // The pool is recounted from the names, so a name stored under another id than the one its
  // text is found under (a string the pool holds twice) would not be counted.
  bool names_counted = true;
  auto text = [&](Cell id) {
    auto decoded = DecodeText(pool_.Get(id), pool_.code_page());
    names_decode = names_decode && decoded;
    const auto encoded = decoded ? EncodeText(*decoded, pool_.code_page()) : std::nullopt;
    names_counted = names_counted && encoded && pool_.Find(*encoded) == id;
    return decoded.value_or("");
  };
  std::size_t columns_kept = 0;
  for (const Row& row : tables.rows()) {
    TableSchema schema{text(row.cells[0]), {}};
    for (const Row& column : columns.rows()) {  // in (table id, number) order
      if (column.cells[0] != row.cells[0]) continue;
      schema.columns.push_back({text(column.cells[2]),
                                ColumnType(static_cast<std::uint16_t>(column.cells[3] - 0x8000))});
    }
    if (!names_decode) return kOpenFailed;
    // A temporary column listed by another writer has no values stored, and nothing holds it.
    std::erase_if(schema.columns, [](const ColumnDef& column) { return column.type.temporary(); });
    if (schema.columns.empty() || schema.name.empty()) continue;
    columns_kept += std::ranges::count_if(
        schema.columns, [](const ColumnDef& column) { return !column.type.temporary(); });
    std::string key = schema.name;
    // A table listed twice would stay in the catalog order after being dropped once.
    if (!tables_.emplace(std::move(key), TableEntry{nullptr, schema, false}).second) {
      return kOpenFailed;
    }
    table_order_.push_back(std::move(schema.name));
  }
  // Rows the catalog keeps no trace of (columns of a table `_Tables` does not list, a table
  // without columns, a temporary column), and names not counted under their own id, refer to
  // strings the pool is not counted for at commit: kept as stored, they would refer to freed
  // strings. The first commit writes the catalog anew.
  catalog_dirty_ = !names_counted || table_order_.size() != tables.rows().size() ||
                   columns_kept != columns.rows().size();
  return kSuccess;
}

ErrorCode Database::SetCodePage(int code_page) {
  if (read_only() || !IsSupportedCodePage(code_page)) return kFunctionFailed;
  for (const auto& [name, entry] : tables_) {  // the catalog must stay writable
    if (!EncodeText(name, code_page)) return kFunctionFailed;
    for (const ColumnDef& column : entry.schema.columns) {
      if (!EncodeText(column.name, code_page)) return kFunctionFailed;
    }
  }
  pool_.set_code_page(code_page);
  tables_changed_ = true;
  return kSuccess;
}

std::optional<std::vector<Row>> Database::ReadRows(const TableSchema& schema) const {
  StorageError error = StorageError::kNone;
  const auto stream =
      storage_->ReadWholeStream(TableStreamName(schema.name), kTableStreamLimit, &error);
  if (!stream && error != StorageError::kNotFound) return std::nullopt;
  auto rows = DecodeTableStream(schema, stream ? *stream : std::vector<std::byte>(),
                                pool_.stored_ref_width());
  if (!rows) return std::nullopt;
  // A reference past the pool would be counted past the end of the counts at commit.
  for (std::size_t column = 0; column < schema.columns.size(); ++column) {
    const ColumnType type = schema.columns[column].type;
    if (!type.is_string() || type.temporary()) continue;
    for (const Row& row : *rows) {
      if (!pool_.Holds(row.cells[column])) return std::nullopt;
    }
  }
  return rows;
}

std::shared_ptr<Table> Database::LoadRows(TableEntry& entry) {
  if (entry.table) return entry.table;
  auto rows = ReadRows(entry.schema);
  if (!rows) return nullptr;
  auto table = std::make_shared<Table>(entry.schema);
  table->Load(std::move(*rows));
  entry.table = std::move(table);
  return entry.table;
}

std::vector<std::string> Database::CatalogOrder() const {
  // `_Tables` is keyed by the names' string ids, so the installer lists tables in the order of
  // their names in the pool.
  auto place = [&](const std::string& table) {
    const auto bytes = EncodeText(table, code_page());
    return bytes ? pool_.Find(*bytes).value_or(UINT32_MAX) : UINT32_MAX;
  };
  std::vector<std::string> order = table_order_;
  std::ranges::stable_sort(order, {}, place);
  return order;
}

std::shared_ptr<TableData> Database::OpenCatalogTable(std::string_view name) {
  std::vector<std::vector<FieldValue>> rows;
  const std::vector<std::string> order = CatalogOrder();
  if (name == kTablesTable) {
    for (const std::string& table : order) rows.push_back({table});
    return std::make_shared<MemoryTableData>(TablesSchema(), std::move(rows));
  }
  for (const std::string& table : order) {
    const TableSchema& schema = tables_.find(table)->second.schema;
    for (std::size_t i = 0; i < schema.columns.size() && !schema.temporary(); ++i) {
      rows.push_back({table, static_cast<int>(i + 1), schema.columns[i].name,
                      static_cast<int>(schema.columns[i].type.bits())});
    }
  }
  return std::make_shared<MemoryTableData>(ColumnsSchema(), std::move(rows));
}

std::shared_ptr<TableData> Database::OpenTable(std::string_view name) {
  if (name == kStreamsTable || name == kStoragesTable) {
    return std::make_shared<RootEntriesTableData>(
        shared_from_this(), name == kStreamsTable ? RootEntriesTableData::Kind::kStreams
                                                  : RootEntriesTableData::Kind::kStorages);
  }
  if (IsReservedName(name)) return OpenCatalogTable(name);
  const auto it = tables_.find(name);
  if (it == tables_.end()) return nullptr;
  auto table = LoadRows(it->second);
  if (!table) return nullptr;
  return std::make_shared<StoredTableData>(shared_from_this(), std::move(table));
}

std::string Database::SchemaFault(const TableSchema& schema) const {
  if (schema.name.empty()) return "a table needs a name";
  const std::string quoted = "\"" + schema.name + "\"";
  if (IsStorageName(schema.name)) return "the name " + quoted + " is kept by the database";
  if (EncodeStreamName(schema.name, true).size() > cfb::kMaxNameUnits) {
    return "the table name " + quoted + " is too long to name a stream";
  }
  if (tables_.contains(schema.name)) return "a table " + quoted + " exists";
  if (schema.KeyColumns().empty()) return "the table " + quoted + " has no primary key";
  for (std::size_t i = 0; i < schema.columns.size(); ++i) {
    const std::string& column = schema.columns[i].name;
    if (schema.FindColumn(column) != i) {
      return "the table " + quoted + " has two columns named \"" + column + "\"";
    }
  }
  return std::string();
}

ErrorCode Database::CreateTable(TableSchema schema, bool hold) {
  last_refusal_ = read_only() ? "the database is read-only" : SchemaFault(schema);
  if (!last_refusal_.empty()) return kFunctionFailed;
  for (const ColumnDef& column : schema.columns) {
    if (!EncodeText(column.name, code_page())) {
      last_refusal_ = "the column name \"" + column.name + "\" is not in the database's code page";
      return kFunctionFailed;
    }
  }
  const auto name = EncodeText(schema.name, code_page());
  if (!name) {
    last_refusal_ = "the table name \"" + schema.name + "\" is not in the database's code page";
    return kFunctionFailed;
  }
  const bool persistent = !schema.temporary();
  // The catalog's strings come first in the pool, as in the installer; a temporary table's
  // names take their places too (they order `_Tables`) and are written as unused ids.
  pool_.Intern(*name);
  for (const ColumnDef& column : schema.columns) {
    pool_.Intern(*EncodeText(column.name, code_page()));
  }
  catalog_dirty_ = catalog_dirty_ || persistent;
  tables_changed_ = true;
  table_order_.push_back(schema.name);
  auto table = std::make_shared<Table>(schema);
  std::string key = schema.name;
  tables_.emplace(key, TableEntry{std::move(table), std::move(schema), true, hold ? 1u : 0u});
  return hold ? kSuccess : ReleaseTemporaryColumns(key);
}

ErrorCode Database::DropTable(std::string_view name) {
  const auto it = tables_.find(name);
  if (it == tables_.end()) return kInvalidTable;
  if (read_only()) return kFunctionFailed;
  if (it->second.schema.HasObjectColumn()) {
    auto data = OpenTable(name);
    while (data && data->row_count() > 0) {
      // Erasing a row removes its streams; one that stays would keep the loop going.
      if (data->Erase(data->row_count() - 1) != kSuccess) return kFunctionFailed;
    }
  }
  if (!it->second.schema.temporary()) {
    dropped_.push_back(std::string(name));
    catalog_dirty_ = true;
    tables_changed_ = true;
  }
  table_order_.erase(std::find(table_order_.begin(), table_order_.end(), name));
  tables_.erase(it);
  return kSuccess;
}

ErrorCode Database::AddColumn(std::string_view table, ColumnDef column, bool hold) {
  const auto it = tables_.find(table);
  if (it == tables_.end()) return kInvalidTable;
  const std::vector<ColumnDef>& columns = it->second.schema.columns;
  // Persistent columns come before temporary ones.
  if (it->second.schema.FindColumn(column.name) ||
      (!column.type.temporary() && columns.back().type.temporary())) {
    return kBadQuerySyntax;
  }
  if (read_only() || !EncodeText(column.name, code_page())) return kFunctionFailed;
  TableSchema schema = it->second.schema;
  std::vector<std::optional<std::size_t>> sources;
  for (std::size_t i = 0; i < schema.columns.size(); ++i) sources.push_back(i);
  sources.push_back(std::nullopt);
  const bool persistent = !column.type.temporary();
  schema.columns.push_back({std::move(column.name), column.type.With(ColumnType::kKey, false)});
  if (!Reshape(it, std::move(schema), sources)) return kFunctionFailed;
  if (hold) ++it->second.holds;
  if (persistent) {  // the table's stream widens and the catalog gains a row
    it->second.dirty = true;
    catalog_dirty_ = true;
    tables_changed_ = true;
  }
  return it->second.holds == 0 ? ReleaseTemporaryColumns(table) : kSuccess;
}

ErrorCode Database::Hold(std::string_view table) {
  if (IsReservedName(table)) return kSuccess;  // nothing of them is temporary
  const auto it = tables_.find(table);
  if (it == tables_.end()) return kInvalidTable;
  ++it->second.holds;
  return kSuccess;
}

ErrorCode Database::Free(std::string_view table) {
  if (IsReservedName(table)) return kSuccess;
  const auto it = tables_.find(table);
  if (it == tables_.end()) return kInvalidTable;
  if (it->second.holds > 0) --it->second.holds;
  return it->second.holds == 0 ? ReleaseTemporaryColumns(table) : kSuccess;
}

std::optional<bool> Database::IsPersistent(std::string_view table) const {
  const auto it = tables_.find(table);
  if (it == tables_.end()) return std::nullopt;
  return !it->second.schema.temporary();
}

bool Database::Reshape(std::map<std::string, TableEntry, std::less<>>::iterator it,
                       TableSchema schema, std::span<const std::optional<std::size_t>> sources) {
  const auto table = LoadRows(it->second);
  if (!table) return false;
  // A new table object: views holding the old one can read it but no longer change it.
  it->second.table = table->Reshaped(schema, sources);
  it->second.schema = std::move(schema);
  return true;
}

ErrorCode Database::ReleaseTemporaryColumns(std::string_view table) {
  const auto it = tables_.find(table);
  TableSchema kept{it->second.schema.name, {}};
  std::vector<std::optional<std::size_t>> sources;
  for (std::size_t i = 0; i < it->second.schema.columns.size(); ++i) {
    if (it->second.schema.columns[i].type.temporary()) continue;
    kept.columns.push_back(it->second.schema.columns[i]);
    sources.push_back(i);
  }
  if (kept.columns.size() == it->second.schema.columns.size()) return kSuccess;
  if (kept.KeyColumns().size() != it->second.schema.KeyColumns().size()) {
    return DropTable(table);  // no row could be told from another any more
  }
  return Reshape(it, std::move(kept), sources) ? kSuccess : kFunctionFailed;
}

bool Database::Holds(const Table& table) const {
  const auto it = tables_.find(table.schema().name);
  return it != tables_.end() && it->second.table.get() == &table;
}

void Database::MarkDirty(std::string_view table) {
  ++changes_;
  const auto it = tables_.find(table);
  if (it != tables_.end()) it->second.dirty = true;
  tables_changed_ = true;
}

std::u16string Database::ObjectStreamName(std::string_view table,
                                          std::span<const FieldValue> key) const {
  std::string name(table);
  for (const FieldValue& value : key) {
    name += '.';
    name += KeyText(value);
  }
  return EncodeStreamName(name, false);
}

ErrorCode Database::CheckStream(const std::u16string& name, const FieldValue& value) const {
  if (read_only()) return kFunctionFailed;
  if (std::holds_alternative<std::monostate>(value)) return kSuccess;  // removing: any name will do
  if (!std::holds_alternative<StreamField>(value)) return kDatatypeMismatch;
  return cfb::IsValidName(name) ? kSuccess : kFunctionFailed;
}

ErrorCode Database::StoreStream(const std::u16string& name, const FieldValue& value) {
  const std::pair<std::u16string, FieldValue> change{name, value};
  return StoreStreams(std::span(&change, 1));
}

ErrorCode Database::StoreStreams(std::span<const std::pair<std::u16string, FieldValue>> streams) {
  // Every copy that can fail is made before anything is staged, and the storage stages all of
  // them or none.
  std::vector<std::pair<std::u16string, StagedStream>> changes;
  for (const auto& [name, value] : streams) {
    if (const ErrorCode error = CheckStream(name, value); error != kSuccess) return error;
    if (std::holds_alternative<std::monostate>(value)) {
      changes.emplace_back(name, StagedStream::Removal());
      continue;
    }
    const StreamSource& source = *std::get<StreamField>(value).source;
    if (source.stored_name() != nullptr && *source.stored_name() == name) continue;
    // A field set from files is copied from the descriptors it holds, at commit.
    if (const auto* files = dynamic_cast<const FileStreamSource*>(&source)) {
      std::optional<std::vector<StagedFilePart>> parts = files->Duplicate();
      if (!parts) return kFunctionFailed;
      changes.emplace_back(name, StagedStream::FromFiles(std::move(*parts)));
      continue;
    }
    std::optional<FileStamp> stamp;
    platform::UniqueFd copy = FileOf(source, &stamp);
    if (!copy.valid()) return kFunctionFailed;
    changes.emplace_back(name, StagedStream::FromFile(std::move(copy), *stamp));
  }
  return storage_->WriteStreams(std::move(changes)) == StorageError::kNone ? kSuccess
                                                                           : kFunctionFailed;
}

ErrorCode Database::StoreStorage(const std::u16string& name, const FieldValue& value) {
  if (const ErrorCode error = CheckStream(name, value); error != kSuccess) return error;
  if (std::holds_alternative<std::monostate>(value)) {
    return storage_->RemoveStorage(name) == StorageError::kNone ? kSuccess : kFunctionFailed;
  }
  const StreamSource& source = *std::get<StreamField>(value).source;
  if (source.is_storage() && *source.stored_name() == name) return kSuccess;
  std::optional<FileStamp> stamp;
  platform::UniqueFd copy = FileOf(source, &stamp);
  if (!copy.valid()) return kFunctionFailed;
  return storage_->WriteStorage(name, std::move(copy), *stamp) == StorageError::kNone
             ? kSuccess
             : kFunctionFailed;
}

platform::UniqueFd Database::FileOf(const StreamSource& source, std::optional<FileStamp>* stamp) {
  // A single file is copied from the descriptor its field holds; another stream (which may
  // change or go before the commit), or files joined, is copied now into a temporary file.
  // Neither is held in memory.
  if (source.is_storage()) return platform::UniqueFd();  // no bytes to copy
  if (const auto* file = dynamic_cast<const FileStreamSource*>(&source)) {
    std::optional<std::vector<StagedFilePart>> parts = file->Duplicate();
    if (!parts) return platform::UniqueFd();
    if (parts->size() == 1) {
      *stamp = parts->front().stamp;
      return std::move(parts->front().file);
    }
  }
  platform::UniqueFd copy = CopyToTemporaryFile(source);
  *stamp = StampOf(copy.get());
  return *stamp ? std::move(copy) : platform::UniqueFd();
}

bool Database::LoadAllRows() {
  for (auto& [name, entry] : tables_) {
    if (!entry.schema.temporary() && !LoadRows(entry)) return false;
  }
  return true;
}

std::vector<std::uint32_t> Database::CountReferences() const {
  std::vector<std::uint32_t> counts(pool_.size() + 1, 0);
  auto count = [&](std::string_view utf8) {
    if (const auto id = pool_.Find(EncodeText(utf8, code_page()).value_or(""))) ++counts[*id];
  };
  for (const auto& [name, entry] : tables_) {
    if (entry.schema.temporary()) continue;
    count(name);  // its `_Tables` row
    for (const ColumnDef& column : entry.schema.columns) {
      if (column.type.temporary()) continue;
      count(name);  // its `_Columns` row
      count(column.name);
    }
    for (const Row& row : entry.table->rows()) {
      for (std::size_t i = 0; i < row.cells.size() && !row.temporary; ++i) {
        const ColumnType type = entry.schema.columns[i].type;
        if (type.is_string() && !type.temporary() && row.cells[i] != 0) ++counts[row.cells[i]];
      }
    }
  }
  return counts;
}

ErrorCode Database::StageCatalog(unsigned ref_width) {
  Table tables(TablesSchema());
  Table columns(ColumnsSchema());
  for (const auto& [name, entry] : tables_) {
    if (entry.schema.temporary()) continue;
    const Cell table_id = pool_.Intern(*EncodeText(name, code_page()));
    // Table names are unique, and so are the column numbers within a table: no key repeats.
    (void)tables.Insert(Row{{table_id}, false});
    Cell number = 0;
    for (const ColumnDef& column : entry.schema.columns) {
      if (column.type.temporary()) continue;
      (void)columns.Insert(
          Row{{table_id, ++number + 0x8000, pool_.Intern(*EncodeText(column.name, code_page())),
               Cell{column.type.bits()} + 0x8000},
              false});
    }
  }
  if (storage_->WriteStream(TableStreamName(kTablesTable),
                            EncodeTableStream(tables.schema(), tables.rows(), ref_width)) !=
      StorageError::kNone) {
    return kFunctionFailed;
  }
  // The installer keeps no `_Columns` stream while no table has a column: a new database holds
  // just `_Tables`, `_StringData` and `_StringPool`.
  const StorageError error =
      columns.row_count() == 0
          ? storage_->RemoveStream(TableStreamName(kColumnsTable))
          : storage_->WriteStream(TableStreamName(kColumnsTable),
                                  EncodeTableStream(columns.schema(), columns.rows(), ref_width));
  return error == StorageError::kNone || error == StorageError::kNotFound ? kSuccess
                                                                          : kFunctionFailed;
}

ErrorCode Database::Commit() {
  if (read_only()) return kSuccess;
  if (!tables_changed_) {  // streams and summary information are staged in the storage itself
    return storage_->Commit() == StorageError::kNone ? kSuccess : kFunctionFailed;
  }
  if (!LoadAllRows()) return kFunctionFailed;
  const unsigned width = pool_.RefWidthForWriting();
  const bool width_changed = width != pool_.stored_ref_width();
  for (const std::string& name : dropped_) {
    // A table dropped before it was ever committed has no stream to remove.
    const StorageError error = storage_->RemoveStream(TableStreamName(name));
    if (error != StorageError::kNone && error != StorageError::kNotFound) return kFunctionFailed;
  }
  for (auto& [name, entry] : tables_) {
    if (entry.schema.temporary() || !(entry.dirty || width_changed)) continue;
    if (storage_->WriteStream(TableStreamName(name),
                              EncodeTableStream(entry.schema, entry.table->rows(), width)) !=
        StorageError::kNone) {
      return kFunctionFailed;
    }
  }
  if ((catalog_dirty_ || width_changed) && StageCatalog(width) != kSuccess) return kFunctionFailed;
  StringPool::Encoded pool = pool_.Encode(CountReferences());
  if (storage_->WriteStream(TableStreamName(kPoolStream), std::move(pool.pool)) !=
          StorageError::kNone ||
      storage_->WriteStream(TableStreamName(kDataStream), std::move(pool.data)) !=
          StorageError::kNone ||
      storage_->Commit() != StorageError::kNone) {
    return kFunctionFailed;
  }
  for (auto& [name, entry] : tables_) entry.dirty = false;
  dropped_.clear();
  catalog_dirty_ = false;
  tables_changed_ = false;
  pool_.MarkWritten();
  return kSuccess;
}

}  // namespace kb::msi

#ifndef KITBINDER_MSI_DB_DATABASE_H_
#define KITBINDER_MSI_DB_DATABASE_H_

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "msi/db/error_code.h"
#include "msi/db/record.h"
#include "msi/db/stream_source.h"
#include "msi/db/string_pool.h"
#include "msi/db/table.h"
#include "msi/db/table_data.h"
#include "msi/storage/compound_file.h"

namespace kb::msi {

// An open installer database: the compound file storage, its string pool, the catalog of tables
// (`_Tables`, `_Columns`) and the tables' rows, loaded on first use.
//
// Every change is staged: the storage writes nothing before Commit, so a database opened
// transacted and closed without Commit leaves its file as it was. Commit writes the tables that
// changed, the catalog when it changed, and the string pool with reference counts recounted
// from every stored table. A database opened direct commits when destroyed.
//
// Shared (std::shared_ptr) by its handle, its views and the stream fields of fetched records.
// Not thread-safe.
class Database : public std::enable_shared_from_this<Database> {
 public:
  enum class OpenMode { kReadOnly, kTransact, kDirect, kCreate, kCreateDirect };

  // Opens (or, for the create modes, starts) the database at `path`. kOpenFailed when the file
  // cannot be opened, is no installer database, or keeps its text in a code page the engine
  // does not convert; kCreateFailed when it cannot be created. For the code page, *failure
  // (when given) receives a sentence for the user that names it.
  static ErrorCode Open(const std::string& path, OpenMode mode, std::shared_ptr<Database>* out,
                        std::string* failure = nullptr);
  // Opens the database at `path` transacted, with `output` as the file its commits write:
  // `path` stays as it is, the first Commit writes `output` whole and later ones change it.
  // Summary information reads as the original's and cannot be changed. Fails as Open does.
  static ErrorCode OpenWithOutput(const std::string& path, const std::string& output,
                                  std::shared_ptr<Database>* out, std::string* failure = nullptr);

  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  bool read_only() const { return mode_ == OpenMode::kReadOnly; }
  // True for a database opened with an output file: its summary information cannot be changed.
  bool writes_elsewhere() const { return writes_elsewhere_; }
  // True once a commit failed past the point where the file may hold the new state (see
  // CompoundFile::failed); nothing more can be read or changed through this object.
  bool failed() const { return storage_->failed(); }
  int code_page() const { return pool_.code_page(); }
  // Sets the code page the database's text is stored in. kFunctionFailed for an unsupported one.
  ErrorCode SetCodePage(int code_page);

  // The table for SQL, including `_Tables`, `_Columns`, `_Streams` and `_Storages`; null when
  // there is no such table or its stream is damaged (HasTable tells the two apart).
  [[nodiscard]] std::shared_ptr<TableData> OpenTable(std::string_view name);
  // True when the catalog lists a table of that name, readable or not.
  bool HasTable(std::string_view name) const { return tables_.contains(name); }
  // kFunctionFailed, saying why in last_refusal(), when the database is read-only or the
  // schema is refused: a table of that name exists, the name is empty, kept by the storage
  // (`_StringPool`, `_StringData`, the catalog's) or too long for a stream name, there is no
  // key column, or two columns share a name. With `hold` the table starts with one hold;
  // without, its temporary columns go at once (see Free).
  ErrorCode CreateTable(TableSchema schema, bool hold);
  // Why the last refused CreateTable, import or export was refused, as a phrase for the user
  // ("the name "_StringData" is kept by the database"); empty when the refusal gave no reason.
  const std::string& last_refusal() const { return last_refusal_; }
  void set_last_refusal(std::string reason) { last_refusal_ = std::move(reason); }
  // Removes a table with its rows and object streams. kInvalidTable when there is none.
  ErrorCode DropTable(std::string_view name);

  // Adds a column after the last, null in every row; with `hold` the table takes one more hold.
  // A temporary column added to a table that nothing holds goes at once. kInvalidTable when
  // there is no such table, kBadQuerySyntax when it has a column of that name or the column is
  // persistent and the last one temporary, kFunctionFailed for a read-only database, a name
  // the code page cannot hold or rows that cannot be read.
  ErrorCode AddColumn(std::string_view table, ColumnDef column, bool hold);
  // Hold and Free count a table's holds. When Free leaves none (or finds none), the table's
  // temporary columns go with their values, and a table left without a key column goes whole.
  // The catalog tables, `_Streams` and `_Storages` may be held and freed, to no effect.
  // kInvalidTable when there is no such table.
  ErrorCode Hold(std::string_view table);
  ErrorCode Free(std::string_view table);
  // Whether the table of that name is written at commit (it has a column that is not
  // temporary); nullopt when there is no such table. The catalog tables count as none.
  [[nodiscard]] std::optional<bool> IsPersistent(std::string_view table) const;

  // Writes the staged changes. kFunctionFailed when any of them (a table, the catalog, the
  // string pool) cannot be staged or the storage's commit fails; the changes stay staged.
  ErrorCode Commit();

  // The storage, for the streams and summary information that live beside the tables.
  CompoundFile& storage() { return *storage_; }
  const CompoundFile& storage() const { return *storage_; }
  std::shared_ptr<const CompoundFile> shared_storage() const { return storage_; }

  // ----- for the table views of this database -----
  StringPool& pool() { return pool_; }
  // The stored name of the stream of an object cell: "Table.Key1.Key2" folded.
  std::u16string ObjectStreamName(std::string_view table, std::span<const FieldValue> key) const;
  // Whether StoreStream could stage `value` under `name` as far as can be told without the
  // system: kFunctionFailed for a read-only database or a name the storage cannot hold,
  // kDatatypeMismatch for a value that is neither null nor a stream.
  ErrorCode CheckStream(const std::u16string& name, const FieldValue& value) const;
  // Stages a stream's new contents from a record field (a file, another stream, or null for
  // none). kFunctionFailed when the storage refuses.
  ErrorCode StoreStream(const std::u16string& name, const FieldValue& value);
  // StoreStream for several streams at once: all are staged, or none when one is refused.
  ErrorCode StoreStreams(std::span<const std::pair<std::u16string, FieldValue>> streams);
  // Stages a sub-storage named `name` from a record field: a stream holding a compound file,
  // whose whole tree the storage copies at commit, or null for the storage's removal. Answers
  // as CheckStream for a read-only database, a bad name or a value of the wrong kind;
  // kFunctionFailed when the stream is no compound file, the name is a stream's, or there is
  // no storage to remove.
  ErrorCode StoreStorage(const std::u16string& name, const FieldValue& value);
  void MarkDirty(std::string_view table);
  // How many times MarkDirty was called: a reader holding row places sees from it that rows
  // may have moved.
  std::uint64_t changes() const { return changes_; }
  // True while `table` holds the rows of the table of its name: false once that table was
  // dropped, even if one of the same name was created since.
  bool Holds(const Table& table) const;

 private:
  struct TableEntry {
    std::shared_ptr<Table> table;  // rows loaded, or null until first use
    TableSchema schema;
    bool dirty = false;
    unsigned holds = 0;  // ALTER TABLE ... HOLD less FREE
  };

  Database(std::shared_ptr<CompoundFile> storage, OpenMode mode);
  static ErrorCode Start(std::unique_ptr<CompoundFile> file, OpenMode mode,
                         std::shared_ptr<Database>* out, std::string* failure);
  ErrorCode LoadCatalog(std::string* failure);
  // What refuses `schema` for a new table, as last_refusal() says it; empty when nothing does.
  std::string SchemaFault(const TableSchema& schema) const;
  // The stored rows of a table; nullopt when its stream cannot be read or decoded, or a string
  // cell refers to no string of the pool.
  [[nodiscard]] std::optional<std::vector<Row>> ReadRows(const TableSchema& schema) const;
  std::shared_ptr<Table> LoadRows(TableEntry& entry);
  [[nodiscard]] bool LoadAllRows();
  // Gives the table of `it` `schema`, its column i taken from column sources[i] (null where
  // none). False when its rows cannot be read.
  [[nodiscard]] bool Reshape(std::map<std::string, TableEntry, std::less<>>::iterator it,
                             TableSchema schema,
                             std::span<const std::optional<std::size_t>> sources);
  // Removes the temporary columns of a table that nothing holds (see Free), dropping the table
  // when they held part of its key. kFunctionFailed when its rows cannot be read.
  ErrorCode ReleaseTemporaryColumns(std::string_view table);
  std::vector<std::uint32_t> CountReferences() const;
  // A descriptor of the bytes of `source` for the storage to copy at commit, with *stamp the
  // state they were taken in; invalid when they cannot be had.
  static platform::UniqueFd FileOf(const StreamSource& source, std::optional<FileStamp>* stamp);
  // Stages the `_Tables` and `_Columns` streams; kFunctionFailed when the storage refuses them.
  ErrorCode StageCatalog(unsigned ref_width);
  std::shared_ptr<TableData> OpenCatalogTable(std::string_view name);
  // The tables in the order the catalog lists them.
  std::vector<std::string> CatalogOrder() const;

  std::shared_ptr<CompoundFile> storage_;
  OpenMode mode_;
  StringPool pool_;
  std::vector<std::string> table_order_;  // catalog order of tables_' keys
  std::map<std::string, TableEntry, std::less<>> tables_;
  std::vector<std::string> dropped_;  // stored tables dropped since the last commit
  bool writes_elsewhere_ = false;
  bool catalog_dirty_ = false;
  bool tables_changed_ = false;  // anything that needs the pool rewritten
  std::string last_refusal_;
  std::uint64_t changes_ = 0;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_DATABASE_H_

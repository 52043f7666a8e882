#ifndef KITBINDER_MSI_SQL_VIEW_H_
#define KITBINDER_MSI_SQL_VIEW_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "msi/db/database.h"
#include "msi/db/record.h"
#include "msi/db/table_data.h"
#include "msi/sql/sorted_rows.h"
#include "msi/sql/sql_statement.h"

namespace kb::msi {

// The installer's MsiViewModify modes.
enum class ModifyMode : int {
  kSeek = -1,
  kRefresh = 0,
  kInsert = 1,
  kUpdate = 2,
  kAssign = 3,
  kReplace = 4,
  kMerge = 5,
  kDelete = 6,
  kInsertTemporary = 7,
  kValidate = 8,
  kValidateNew = 9,
  kValidateField = 10,
  kValidateDelete = 11,
};

// What a validating modify found wrong with one column of a record (the installer's MSIDBERROR
// values).
enum class ColumnFault : int {
  kDuplicateKey = 1,     // a new row's key is taken
  kRequired = 2,         // a null where the column needs a value
  kStringOverflow = 28,  // text longer than the column's size
};

struct ColumnError {
  std::string column;
  ColumnFault fault;
};

// One prepared SQL statement on a database: executed with an optional record of `?` values;
// a SELECT then yields its rows one record at a time, and a fetched record can be written
// back with Modify. A SELECT may join several tables; its rows come out as nested loops over
// the tables give them, the last table outermost, and an equality between columns of two
// tables is looked up through an index rather than by pairing every row with every other.
// A join without ORDER BY is not gathered at Execute: each Fetch finds the next row, so its
// memory does not grow with the number of rows it yields. A SELECT of one table, or with
// ORDER BY, takes its rows at Execute as row numbers, 4 bytes a table per row, and sorts them
// (SortedRows): up to SortedRows::kMemoryBudget in memory, beyond it in runs written to a
// temporary file and merged, so that its memory too stays bounded however many rows it yields.
// It keeps one copy of the keys of the tables' rows they name, to find them again after a
// change; no value is copied per joined row. DISTINCT remembers the text of each distinct row.
// Keeps its database alive. Once the database has failed (Database::failed) Execute, Fetch
// and Modify answer kFunctionFailed.
class View {
 public:
  // The most tables one SELECT may join, as in the installer.
  static constexpr std::size_t kMaxJoinedTables = 32;

  // Parses `sql` and checks its tables and columns. kBadQuerySyntax for bad syntax, more than
  // kMaxJoinedTables tables (saying so in the database's last_refusal()), an unknown table or
  // column, or a comparison the installer refuses (text or a text column ordered with
  // < > <= >=, an object column compared otherwise than with IS [NOT] NULL); kInvalidData for
  // a table whose stored rows are damaged.
  static ErrorCode Prepare(std::shared_ptr<Database> database, std::string_view sql,
                           std::unique_ptr<View>* out);

  // Runs the statement. A SELECT gathers its rows for Fetch; the others make their change now,
  // to every row they concern or, when one is refused, to none. kBadQuerySyntax for a table
  // to create that exists; kFunctionFailed when `parameters` lacks a field for a `?`, the
  // tables no longer have the columns the statement names, or the change is refused (taken key,
  // missing value, empty text for an integer that must have one, wrong type, text the code page
  // cannot hold, read-only database), or a SELECT's rows cannot be written to their temporary
  // file. ALTER TABLE ... ADD of a column the table has answers kBadQuerySyntax too.
  ErrorCode Execute(const Record* parameters);

  // The next row as a record of the selected columns (field 0 holds 1, as msi.dll's do);
  // kNoMoreItems after the last, and the fetch after that starts again from the first row.
  // kFunctionFailed when no SELECT was executed, or its rows cannot be read back from their
  // temporary file.
  ErrorCode Fetch(std::unique_ptr<Record>* out);

  // Writes `record` (fields in the view's column order) to the table as `mode` says. Modes that
  // act on a fetched row (update, replace, delete, refresh) need a record this view fetched or
  // sought; the others work on a view that was never executed too. A view joining tables allows
  // only update and refresh. Seek needs every key column in the view and a record of at least
  // the view's fields. Merge takes the columns outside the view for null: it answers kSuccess
  // when a row with the record's key equals that row, kFunctionFailed when it differs, and
  // kInvalidData when the row it would add lacks a value a column must have. The validating modes
  // change nothing: they check the record against the columns' definitions (a new row's key also
  // against the table; the rules of a `_Validation` table are not consulted) and answer
  // kInvalidData, keeping what they found for NextError, when a column fails; nothing refuses a
  // delete.
  ErrorCode Modify(ModifyMode mode, Record& record);

  // The first fault the last Modify found that DropError has not dropped; nullopt when none.
  [[nodiscard]] std::optional<ColumnError> NextError() const;
  void DropError();

  // A record of the selected columns' names, or of their types as archive column definitions
  // ("s72", "I2", "V0"...; a constant column has no name and the type "f0"). Empty for
  // statements that select nothing.
  std::unique_ptr<Record> ColumnInfo(bool types) const;

  // Forgets the executed rows; the view can be executed again.
  void Close();

  Database& database() const { return *database_; }

 private:
  struct ColumnRef {
    std::size_t table = 0;  // index in the statement's tables
    std::size_t column = 0;
  };
  // The statement's names resolved against its tables as they are now.
  struct Binding {
    std::vector<std::shared_ptr<TableData>> tables;
    // The view's columns (a SELECT's or an INSERT's); nullopt for a constant of the SELECT list.
    std::vector<std::optional<ColumnRef>> columns;
    // Every column named in a condition or ORDER BY, by where the statement names it.
    std::unordered_map<const SqlColumn*, ColumnRef> named;
  };
  using JoinedRow = std::vector<std::size_t>;  // a row index in each table

  View(std::shared_ptr<Database> database, ParsedSql parsed);

  // Binding (view_binding.cpp). Resolves the statement against `tables` (in the statement's order).
  // kBadQuerySyntax for an unknown column or a refused comparison.
  static ErrorCode Bind(const SqlStatement& statement,
                        std::vector<std::shared_ptr<TableData>> tables, Binding* out);
  // The statement's tables as the database holds them now; false when one is gone or lacks
  // a column the statement names.
  [[nodiscard]] bool BindNow(Binding* out) const;

  // Binds the statement to the tables as the database holds them now (binding_, table_);
  // false, leaving nothing bound, when a table or a column it names is gone.
  [[nodiscard]] bool Rebind();
  // The statement's SELECT; null for the other statements.
  const SqlSelect* select() const { return std::get_if<SqlSelect>(&statement_); }

  // Execute's work for each statement (view.cpp; a SELECT's in view_select.cpp). Those on rows
  // need the view bound and answer the table's own code on refusal.
  ErrorCode Run(const SqlSelect& select);
  ErrorCode Run(const SqlInsert& insert);
  ErrorCode Run(const SqlUpdate& update);
  ErrorCode Run(const SqlDelete& remove);
  ErrorCode Run(const SqlCreate& create);
  ErrorCode Run(const SqlDrop& drop);
  ErrorCode Run(const SqlAlter& alter);

  // The rows of one table that a join may pair with the rows chosen in the tables after it:
  // those an index gives for an equality, or all of them.
  struct Candidates {
    const std::vector<std::size_t>* listed = nullptr;  // null: every row, 0 to count - 1
    std::size_t count = 0;
    std::size_t Row(std::size_t at) const { return listed ? (*listed)[at] : at; }
  };
  // Where a join has got to: the nested loops over the tables (the last outermost) as a list
  // of levels rather than a recursion, so that rows come out one at a time and no depth of
  // tables runs the stack out.
  struct JoinCursor {
    struct Level {
      Candidates candidates;
      std::size_t at = 0;
    };
    std::vector<Level> levels;  // by table
    JoinedRow rows;
    bool started = false;
    std::optional<std::size_t> resume_at;  // a level to go on from without a step
    // Rows changed since the cursor took its place are found again by the keys of the row last
    // given out: the database's change count then, and those keys.
    std::uint64_t changes = 0;
    std::vector<std::vector<FieldValue>> keys;
  };

  // Selecting rows (view_select.cpp).
  std::vector<JoinedRow> MatchingRows(const SqlCondition* where) const;
  // The next row of the join that satisfies `where`; nullopt after the last.
  [[nodiscard]] std::optional<JoinedRow> NextJoined(const SqlCondition* where,
                                                    JoinCursor& cursor) const;
  // Puts the cursor back on the rows it gave out last after the tables changed under it.
  void FindPlaceAgain(const SqlCondition* where, JoinCursor& cursor) const;
  Candidates CandidatesOf(const SqlCondition* where, const JoinedRow& rows,
                          std::size_t table) const;
  // Fetch's next row of a streamed join; nullopt after the last.
  [[nodiscard]] std::optional<JoinedRow> NextStreamed();
  // The selected values of `rows` as one text, equal for rows DISTINCT takes for one.
  std::string DistinctText(const JoinedRow& rows) const;
  // Gathers the SELECT's rows into sorted_ at Execute, in the ORDER BY order (equal rows as
  // they came) and without repeats for DISTINCT; kFunctionFailed when its file fails.
  ErrorCode GatherRows(const SqlSelect& select);
  // The ORDER BY order of gathered rows.
  SortedRows::Compare RowOrder(const std::vector<SqlColumn>& order_by) const;
  // Notes the tables' row counts and the keys of the rows `named` marks (by table, by row
  // number), for GatheredNow.
  void KeepGatheredKeys(const std::vector<std::vector<bool>>& named);
  // Gathered row numbers in the tables as they are now; nullopt when one of the rows was
  // deleted since Execute.
  [[nodiscard]] std::optional<JoinedRow> GatheredNow(SortedRows::Row gathered) const;
  bool Matches(const SqlCondition& condition, const JoinedRow& rows) const;
  FieldValue Evaluate(const SqlOperand& operand, const JoinedRow& rows) const;
  FieldValue Output(std::size_t column, const JoinedRow& rows) const;
  // Puts the view's columns of `rows` into `record` and marks it as fetched from them.
  void FillRecord(const JoinedRow& rows, Record& record) const;

  // Modify's parts (view_modify.cpp).
  std::vector<FieldValue> WithRecord(std::vector<FieldValue> values, const Record& record) const;
  [[nodiscard]] std::optional<JoinedRow> OriginRows(const Record& record) const;
  [[nodiscard]] std::optional<std::size_t> RecordRow(const Record& record) const;
  ErrorCode Validate(ModifyMode mode, const Record& record);
  ErrorCode ModifyJoined(ModifyMode mode, Record& record);
  bool ViewHasKey() const;

  std::shared_ptr<Database> database_;
  SqlStatement statement_;
  unsigned markers_;
  std::uint64_t id_;
  Binding binding_;                     // made at Execute
  TableData* table_ = nullptr;          // the first table of binding_, after Execute
  const Record* parameters_ = nullptr;  // during Execute only
  bool executed_ = false;
  // Lookups of the join, built on first use: rows of a table by the value of one column.
  mutable std::map<std::pair<std::size_t, std::size_t>,
                   std::unordered_map<std::string, std::vector<std::size_t>>>
      indexes_;
  // A SELECT's rows: gathered at Execute for one table or an ORDER BY, each as the row numbers
  // of its tables, in the order Fetch gives them, or found one at a time through join_ for a
  // join without ORDER BY.
  std::optional<SortedRows> sorted_;
  // The memory sorted_ may hold; tests lower it (through ViewSortSeam) to sort through files.
  std::size_t sort_budget_ = SortedRows::kMemoryBudget;
  // For the gathered rows: the tables' row counts at Execute, the keys of the rows they name
  // by table and row number, and the database's change count then. Once the tables changed, a
  // row is found again by its keys.
  std::vector<std::size_t> counts_at_execute_;
  std::vector<std::unordered_map<std::uint32_t, std::vector<FieldValue>>> keys_at_execute_;
  std::uint64_t changes_at_execute_ = 0;
  bool streamed_ = false;
  JoinCursor join_;
  std::unordered_set<std::string> distinct_seen_;  // the rows DISTINCT has let through
  mutable std::uint64_t next_stream_ = 0;          // tells streams apart for DISTINCT
  std::vector<ColumnError> errors_;                // of the last Modify, first first

  friend class ViewSortSeam;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_SQL_VIEW_H_

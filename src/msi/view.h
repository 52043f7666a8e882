#ifndef KITBINDER_MSI_VIEW_H_
#define KITBINDER_MSI_VIEW_H_

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "msi/database.h"
#include "msi/record.h"
#include "msi/sql_statement.h"
#include "msi/table_data.h"

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
};

// One prepared SQL statement on a database: executed with an optional record of `?` values;
// a SELECT then yields its rows one record at a time, and a fetched record can be written
// back with Modify. Keeps its database alive. Once the database has failed (Database::failed)
// Execute, Fetch and Modify answer kFunctionFailed.
class View {
 public:
  // Parses `sql` and checks its table and columns. kBadQuerySyntax for bad syntax or an unknown
  // table or column; kInvalidData for a table whose stored rows are damaged.
  static ErrorCode Prepare(std::shared_ptr<Database> database, std::string_view sql,
                           std::unique_ptr<View>* out);

  // Runs the statement. A SELECT gathers its rows for Fetch; the others make their change now,
  // to every row they concern or, when one is refused, to none. kBadQuerySyntax for a table
  // to create that exists; kFunctionFailed when `parameters` lacks a field for a `?`, the
  // table no longer has the columns the statement names, or the change is refused (taken key,
  // missing value, wrong type, text the code page cannot hold, read-only database).
  ErrorCode Execute(const Record* parameters);

  // The next row as a record of the selected columns; kNoMoreItems after the last, and
  // kFunctionFailed when no SELECT was executed.
  ErrorCode Fetch(std::unique_ptr<Record>* out);

  // Writes `record` (fields in the view's column order) to the table as `mode` says. Modes that
  // act on a fetched row (update, replace, delete, refresh) need a record this view fetched.
  ErrorCode Modify(ModifyMode mode, Record& record);

  // A record of the selected columns' names, or of their types as archive column definitions
  // ("s72", "I2", "V0"...). Empty for statements that select nothing.
  std::unique_ptr<Record> ColumnInfo(bool types) const;

  // Forgets the executed rows; the view can be executed again.
  void Close();

 private:
  View(std::shared_ptr<Database> database, ParsedSql parsed, std::vector<std::size_t> columns);

  ErrorCode RunInsert(const SqlInsert& insert);
  ErrorCode RunUpdate(const SqlUpdate& update);
  ErrorCode RunDelete();
  ErrorCode RunSelect(const SqlSelect& select);
  std::vector<std::size_t> MatchingRows(const SqlCondition* where) const;
  bool Matches(const SqlCondition& condition, std::size_t row) const;
  FieldValue Evaluate(const SqlOperand& operand, std::size_t row) const;
  void FillRecord(std::size_t row, Record& record) const;
  std::vector<FieldValue> WithRecord(std::vector<FieldValue> values, const Record& record) const;
  std::optional<std::size_t> OriginRow(const Record& record) const;
  std::optional<std::size_t> RecordRow(const Record& record) const;
  // The statement's table as the database holds it now and the view's columns in it; false
  // when the table is gone or lacks a column the statement names.
  bool ResolveNow(std::shared_ptr<TableData>* table, std::vector<std::size_t>* columns) const;

  std::shared_ptr<Database> database_;
  SqlStatement statement_;
  unsigned markers_;
  std::vector<std::size_t> columns_;  // the view's columns in the table
  std::uint64_t id_;
  std::shared_ptr<TableData> table_;    // opened at Execute
  const Record* parameters_ = nullptr;  // during Execute only
  bool executed_ = false;
  std::vector<std::vector<FieldValue>> result_keys_;  // a SELECT's rows, by primary key
  std::size_t next_ = 0;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_VIEW_H_

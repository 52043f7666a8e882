#ifndef KITBINDER_MSI_VIEW_H_
#define KITBINDER_MSI_VIEW_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
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
  // ALTER TABLE ... ADD of a column the table has answers kBadQuerySyntax too.
  ErrorCode Execute(const Record* parameters);

  // The next row as a record of the selected columns; kNoMoreItems after the last, and
  // kFunctionFailed when no SELECT was executed.
  ErrorCode Fetch(std::unique_ptr<Record>* out);

  // Writes `record` (fields in the view's column order) to the table as `mode` says. Modes that
  // act on a fetched row (update, replace, delete, refresh) need a record this view fetched.
  // The validating modes change nothing: they check the record against the columns'
  // definitions (a new row's key also against the table; the rules of a `_Validation` table
  // are not consulted) and answer kInvalidData, keeping what they found for NextError, when a
  // column fails; nothing refuses a delete.
  ErrorCode Modify(ModifyMode mode, Record& record);

  // The first fault the last Modify found that DropError has not dropped; nullopt when none.
  std::optional<ColumnError> NextError() const;
  void DropError();

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
  ErrorCode RunAlter(const SqlAlter& alter);
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
  ErrorCode Validate(ModifyMode mode, const Record& record);

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
  std::vector<ColumnError> errors_;  // of the last Modify, first first
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_VIEW_H_

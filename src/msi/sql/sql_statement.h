#ifndef KITBINDER_MSI_SQL_SQL_STATEMENT_H_
#define KITBINDER_MSI_SQL_SQL_STATEMENT_H_

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "msi/db/table_schema.h"

namespace kb::msi {

// The parsed form of the statements the installer's SQL accepts.

struct SqlNull {};
struct SqlMarker {
  unsigned index = 0;  // 1 for the statement's first `?`, in the order they are written
};
struct SqlColumn {
  std::string table;  // empty when the statement names the column alone
  std::string name;
};
// A literal, a `?` or (in conditions) a column.
using SqlOperand = std::variant<SqlNull, int, std::string, SqlMarker, SqlColumn>;

enum class SqlCompare {
  kEqual,
  kNotEqual,
  kLess,
  kGreater,
  kLessEqual,
  kGreaterEqual,
  kIsNull,
  kIsNotNull
};

struct SqlCondition {
  enum class Kind { kCompare, kAnd, kOr };
  Kind kind = Kind::kCompare;
  // kCompare:
  SqlOperand left;
  SqlCompare compare = SqlCompare::kEqual;
  SqlOperand right;  // unused for IS [NOT] NULL
  // kAnd, kOr: two or more operands in the order written. A chain of one operator is one node,
  // so only parentheses make the tree deeper.
  std::vector<std::unique_ptr<SqlCondition>> operands;
};

struct SqlSelect {
  // The tables of the join, in the order written. The rows come out as nested loops would give
  // them with the last table outermost.
  std::vector<std::string> tables;
  bool distinct = false;     // rows whose selected values repeat an earlier row's go
  bool all_columns = false;  // *: every column of every table, before `columns`
  // Columns, and constants (an integer, or text, empty for null) that every row carries as
  // they are.
  std::vector<SqlOperand> columns;
  std::unique_ptr<SqlCondition> where;
  std::vector<SqlColumn> order_by;
};

struct SqlInsert {
  std::string table;
  std::vector<std::string> columns;
  std::vector<SqlOperand> values;
  bool temporary = false;
};

struct SqlUpdate {
  std::string table;
  std::vector<std::pair<std::string, SqlOperand>> assignments;
  std::unique_ptr<SqlCondition> where;
};

struct SqlDelete {
  std::string table;
  std::unique_ptr<SqlCondition> where;
};

struct SqlCreate {
  TableSchema schema;  // key columns first, in PRIMARY KEY order, with their key bits set
  bool hold = false;   // HOLD: the table's temporary columns live until a matching FREE
};

struct SqlDrop {
  std::string table;
};

// ALTER TABLE t ADD column [HOLD], ALTER TABLE t HOLD, ALTER TABLE t FREE.
struct SqlAlter {
  enum class Action { kAdd, kHold, kFree };
  std::string table;
  Action action = Action::kAdd;
  ColumnDef column;   // kAdd only
  bool hold = false;  // kAdd with HOLD
};

using SqlStatement =
    std::variant<SqlSelect, SqlInsert, SqlUpdate, SqlDelete, SqlCreate, SqlDrop, SqlAlter>;

struct ParsedSql {
  SqlStatement statement;
  unsigned markers = 0;  // how many `?` the statement holds
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_SQL_SQL_STATEMENT_H_

#include "msi/sql/sql_parser.h"

#include <algorithm>
#include <cctype>
#include <functional>

#include "msi/db/record.h"
#include "msi/sql/sql_lexer.h"

namespace kb::msi {
namespace {

// The language's keywords (and LIKE, which the installer reserves too): bare, they name no
// table or column.
bool IsReservedWord(const SqlToken& token) {
  static constexpr std::string_view kReserved[] = {
      "ADD",     "ALTER",    "AND",  "BY",    "CHAR",   "CHARACTER", "CREATE",
      "DELETE",  "DISTINCT", "DROP", "FREE",  "FROM",   "HOLD",      "INSERT",
      "INT",     "INTEGER",  "INTO", "IS",    "KEY",    "LIKE",      "LOCALIZABLE",
      "LONG",    "LONGCHAR", "NOT",  "NULL",  "OBJECT", "OR",        "ORDER",
      "PRIMARY", "SELECT",   "SET",  "SHORT", "TABLE",  "TEMPORARY", "UPDATE",
      "VALUES",  "WHERE"};
  return std::ranges::any_of(kReserved,
                             [&](std::string_view word) { return token.IsKeyword(word); });
}

// Recursive descent over the token list. Every Parse* answers false on a syntax error.
class Parser {
 public:
  explicit Parser(std::vector<SqlToken> tokens) : tokens_(std::move(tokens)) {}

  std::optional<ParsedSql> Parse() {
    auto statement = Statement();
    if (!statement) return std::nullopt;
    return ParsedSql{std::move(*statement), markers_};
  }

 private:
  std::optional<SqlStatement> Statement() {
    std::optional<SqlStatement> statement;
    if (Keyword("SELECT")) {
      statement = Select();
    } else if (Keyword("INSERT")) {
      statement = Insert();
    } else if (Keyword("UPDATE")) {
      statement = Update();
    } else if (Keyword("DELETE")) {
      statement = Delete();
    } else if (Keyword("CREATE")) {
      statement = Create();
    } else if (Keyword("DROP")) {
      statement = Drop();
    } else if (Keyword("ALTER")) {
      statement = Alter();
    }
    if (!statement || Peek().kind != SqlToken::Kind::kEnd) return std::nullopt;
    return statement;
  }

  const SqlToken& Peek() const { return tokens_[at_]; }
  void Next() {
    if (Peek().kind != SqlToken::Kind::kEnd) ++at_;
  }
  bool Keyword(std::string_view keyword) {
    if (!Peek().IsKeyword(keyword)) return false;
    Next();
    return true;
  }
  bool Symbol(std::string_view symbol) {
    if (!Peek().IsSymbol(symbol)) return false;
    Next();
    return true;
  }

  // A back-quoted name, or a bare word that is no keyword of the language and does not start
  // with a digit.
  std::optional<std::string> Name() {
    const SqlToken& token = Peek();
    const bool bare_name = token.kind == SqlToken::Kind::kWord && !IsReservedWord(token) &&
                           !std::isdigit(static_cast<unsigned char>(token.text[0]));
    if (token.kind != SqlToken::Kind::kName && !bare_name) return std::nullopt;
    std::string name = token.text;
    Next();
    return name;
  }

  // A column, possibly qualified by its table: `Table`.`Column`, Table.Column or, read as the
  // installer reads it, `Table.Column`.
  std::optional<SqlColumn> ColumnRef() {
    const bool quoted = Peek().kind == SqlToken::Kind::kName;
    auto name = Name();
    if (!name) return std::nullopt;
    if (Symbol(".")) {
      auto column = Name();
      if (!column) return std::nullopt;
      return SqlColumn{std::move(*name), std::move(*column)};
    }
    if (const std::size_t dot = name->find('.'); quoted && dot != std::string::npos) {
      return SqlColumn{name->substr(0, dot), name->substr(dot + 1)};
    }
    return SqlColumn{std::string(), std::move(*name)};
  }

  // A column of the statement's one table: a qualification is read and dropped.
  std::optional<std::string> ColumnName() {
    auto column = ColumnRef();
    if (!column) return std::nullopt;
    return std::move(column->name);
  }

  // Items separated by commas, at least one.
  template <typename T>
  bool List(std::vector<T>& out, const std::function<std::optional<T>()>& item) {
    do {
      auto value = item();
      if (!value) return false;
      out.push_back(std::move(*value));
    } while (Symbol(","));
    return true;
  }

  bool Names(std::vector<std::string>& out) {
    return List<std::string>(out, [this] { return ColumnName(); });
  }

  std::optional<SqlOperand> Value() {
    const SqlToken token = Peek();
    if (token.kind == SqlToken::Kind::kText) {
      Next();
      return SqlOperand(token.text);
    }
    if (token.kind == SqlToken::Kind::kMarker) {
      Next();
      return SqlOperand(SqlMarker{++markers_});
    }
    if (Keyword("NULL")) return SqlOperand(SqlNull{});
    const bool negative = Symbol("-");
    if (Peek().kind != SqlToken::Kind::kInteger) return std::nullopt;
    const auto number = ParseInteger((negative ? "-" : "") + Peek().text);
    if (!number) return std::nullopt;
    Next();
    return SqlOperand(*number);
  }

  std::optional<SqlOperand> Column() {
    auto column = ColumnRef();
    if (!column) return std::nullopt;
    return SqlOperand(std::move(*column));
  }

  std::optional<SqlOperand> Operand() {
    const SqlToken::Kind kind = Peek().kind;
    if ((kind == SqlToken::Kind::kName || kind == SqlToken::Kind::kWord) &&
        !Peek().IsKeyword("NULL")) {
      return Column();
    }
    return Value();
  }

  // An entry of a SELECT list: a column, or a text or integer that every row carries. An empty
  // back-quoted name is no column, and msi.dll refuses it.
  std::optional<SqlOperand> Selected() {
    const SqlToken& token = Peek();
    if (token.kind == SqlToken::Kind::kText || token.kind == SqlToken::Kind::kInteger ||
        token.IsSymbol("-")) {
      return Value();
    }
    return Column();
  }

  std::optional<SqlCompare> Comparison() {
    static constexpr std::pair<std::string_view, SqlCompare> kSymbols[] = {
        {"=", SqlCompare::kEqual},      {"<>", SqlCompare::kNotEqual},
        {"<", SqlCompare::kLess},       {">", SqlCompare::kGreater},
        {"<=", SqlCompare::kLessEqual}, {">=", SqlCompare::kGreaterEqual}};
    for (const auto& [symbol, compare] : kSymbols) {
      if (Symbol(symbol)) return compare;
    }
    return std::nullopt;
  }

  std::unique_ptr<SqlCondition> Primary() {
    if (Symbol("(")) {
      // Each level is a few frames of this parser, and of the view that evaluates it.
      if (++nesting_ > kMaxNesting) return nullptr;
      auto inner = Condition();
      --nesting_;
      return inner && Symbol(")") ? std::move(inner) : nullptr;
    }
    auto condition = std::make_unique<SqlCondition>();
    // The installer wants a column on the left: a literal, a `?` or NULL there is refused.
    auto left = Column();
    if (!left) return nullptr;
    condition->left = std::move(*left);
    if (Keyword("IS")) {
      condition->compare = Keyword("NOT") ? SqlCompare::kIsNotNull : SqlCompare::kIsNull;
      return Keyword("NULL") ? std::move(condition) : nullptr;
    }
    const auto compare = Comparison();
    auto right = compare ? Operand() : std::nullopt;
    if (!right) return nullptr;
    condition->compare = *compare;
    condition->right = std::move(*right);
    return condition;
  }

  std::unique_ptr<SqlCondition> Joined(SqlCondition::Kind kind, std::string_view keyword,
                                       std::unique_ptr<SqlCondition> (Parser::*operand)()) {
    auto first = (this->*operand)();
    if (!first || !Peek().IsKeyword(keyword)) return first;
    auto joined = std::make_unique<SqlCondition>();
    joined->kind = kind;
    joined->operands.push_back(std::move(first));
    while (Keyword(keyword)) {
      auto next = (this->*operand)();
      if (!next) return nullptr;
      joined->operands.push_back(std::move(next));
    }
    return joined;
  }

  std::unique_ptr<SqlCondition> Conjunction() {
    return Joined(SqlCondition::Kind::kAnd, "AND", &Parser::Primary);
  }
  std::unique_ptr<SqlCondition> Condition() {
    return Joined(SqlCondition::Kind::kOr, "OR", &Parser::Conjunction);
  }

  // An optional WHERE clause: false only when one is there and malformed.
  bool Where(std::unique_ptr<SqlCondition>& out) {
    if (!Keyword("WHERE")) return true;
    out = Condition();
    return out != nullptr;
  }

  std::optional<SqlStatement> Select() {
    SqlSelect select;
    select.distinct = Keyword("DISTINCT");
    // "*" may be followed by more columns, as msi.dll reads SELECT *, `A`.
    select.all_columns = Symbol("*");
    const auto selected = [this] { return Selected(); };
    if ((!select.all_columns || Symbol(",")) && !List<SqlOperand>(select.columns, selected)) {
      return std::nullopt;
    }
    if (!Keyword("FROM") || !List<std::string>(select.tables, [this] { return Name(); })) {
      return std::nullopt;
    }
    if (!Where(select.where)) return std::nullopt;
    if (Keyword("ORDER") &&
        !(Keyword("BY") && List<SqlColumn>(select.order_by, [this] { return ColumnRef(); }))) {
      return std::nullopt;
    }
    return select;
  }

  std::optional<SqlStatement> Insert() {
    SqlInsert insert;
    auto table = Keyword("INTO") ? Name() : std::nullopt;
    if (!table || !Symbol("(") || !Names(insert.columns) || !Symbol(")")) return std::nullopt;
    insert.table = *table;
    if (!Keyword("VALUES") || !Symbol("(") ||
        !List<SqlOperand>(insert.values, [this] { return Value(); }) || !Symbol(")")) {
      return std::nullopt;
    }
    insert.temporary = Keyword("TEMPORARY");
    if (insert.values.size() != insert.columns.size()) return std::nullopt;
    return insert;
  }

  std::optional<SqlStatement> Update() {
    SqlUpdate update;
    auto table = Name();
    if (!table || !Keyword("SET")) return std::nullopt;
    update.table = *table;
    using Assignment = std::pair<std::string, SqlOperand>;
    const bool ok = List<Assignment>(update.assignments, [this]() -> std::optional<Assignment> {
      auto column = ColumnName();
      auto value = column && Symbol("=") ? Value() : std::nullopt;
      if (!value) return std::nullopt;
      return Assignment(*column, std::move(*value));
    });
    if (!ok || !Where(update.where)) return std::nullopt;
    return update;
  }

  std::optional<SqlStatement> Delete() {
    SqlDelete remove;
    auto table = Keyword("FROM") ? Name() : std::nullopt;
    if (!table) return std::nullopt;
    remove.table = *table;
    if (!Where(remove.where)) return std::nullopt;
    return remove;
  }

  std::optional<ColumnType> Type() {
    if (Keyword("CHAR") || Keyword("CHARACTER")) {
      if (!Symbol("(")) return ColumnType::String(0);
      const auto size = ParseInteger(Peek().text);
      if (Peek().kind != SqlToken::Kind::kInteger || !size || *size > 255) return std::nullopt;
      Next();
      if (!Symbol(")")) return std::nullopt;
      return ColumnType::String(static_cast<std::uint8_t>(*size));
    }
    if (Keyword("LONGCHAR")) return ColumnType::String(0);
    if (Keyword("SHORT") || Keyword("INT") || Keyword("INTEGER")) return ColumnType::Short();
    if (Keyword("LONG")) return ColumnType::Long();
    if (Keyword("OBJECT")) return ColumnType::Object();
    return std::nullopt;
  }

  std::optional<ColumnDef> ColumnDefinition() {
    auto name = Name();
    auto type = name ? Type() : std::nullopt;
    if (!type) return std::nullopt;
    bool nullable = true;
    for (;;) {
      if (Keyword("NOT")) {
        if (!Keyword("NULL")) return std::nullopt;
        nullable = false;
      } else if (Keyword("TEMPORARY")) {
        type = type->With(ColumnType::kTemporary, true);
      } else if (Keyword("LOCALIZABLE")) {
        type = type->With(ColumnType::kLocalizable, true);
      } else {
        break;
      }
    }
    return ColumnDef{*name, type->With(ColumnType::kNullable, nullable)};
  }

  std::optional<SqlStatement> Create() {
    SqlCreate create;
    auto table = Keyword("TABLE") ? Name() : std::nullopt;
    if (!table || !Symbol("(")) return std::nullopt;
    create.schema.name = *table;
    do {
      if (Peek().IsKeyword("PRIMARY")) break;
      auto column = ColumnDefinition();
      if (!column) return std::nullopt;
      create.schema.columns.push_back(std::move(*column));
    } while (Symbol(","));
    std::vector<std::string> keys;
    if (!Keyword("PRIMARY") || !Keyword("KEY") || !Names(keys) || !Symbol(")")) {
      return std::nullopt;
    }
    if (!create.schema.BringKeysFirst(keys)) return std::nullopt;
    create.hold = Keyword("HOLD");
    return create;
  }

  std::optional<SqlStatement> Alter() {
    SqlAlter alter;
    auto table = Keyword("TABLE") ? Name() : std::nullopt;
    if (!table) return std::nullopt;
    alter.table = *table;
    if (Keyword("HOLD")) {
      alter.action = SqlAlter::Action::kHold;
    } else if (Keyword("FREE")) {
      alter.action = SqlAlter::Action::kFree;
    } else {
      auto column = Keyword("ADD") ? ColumnDefinition() : std::nullopt;
      if (!column) return std::nullopt;
      alter.column = std::move(*column);
      alter.hold = Keyword("HOLD");
    }
    return alter;
  }

  std::optional<SqlStatement> Drop() {
    auto table = Keyword("TABLE") ? Name() : std::nullopt;
    if (!table) return std::nullopt;
    return SqlDrop{*table};
  }

  static constexpr unsigned kMaxNesting = 256;

  std::vector<SqlToken> tokens_;
  std::size_t at_ = 0;
  unsigned markers_ = 0;
  unsigned nesting_ = 0;  // parentheses open around the current condition
};

}  // namespace

std::optional<ParsedSql> ParseSql(std::string_view sql) {
  auto tokens = TokenizeSql(sql);
  if (!tokens) return std::nullopt;
  return Parser(std::move(*tokens)).Parse();
}

}  // namespace kb::msi

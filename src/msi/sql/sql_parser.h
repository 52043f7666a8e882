#ifndef KITBINDER_MSI_SQL_SQL_PARSER_H_
#define KITBINDER_MSI_SQL_SQL_PARSER_H_

#include <optional>
#include <string_view>

#include "msi/sql/sql_statement.h"

namespace kb::msi {

// Parses one statement of the installer's SQL: SELECT [DISTINCT], INSERT INTO ... VALUES
// [TEMPORARY], UPDATE ... SET, DELETE FROM, CREATE TABLE ... PRIMARY KEY [HOLD], DROP TABLE and
// ALTER TABLE ... ADD column [HOLD] | HOLD | FREE.
// Keywords ignore letter case; names are bare or back-quoted; every white space character
// separates tokens. nullopt for anything else, including an empty statement and conditions
// nested more than 256 parentheses deep (the caller answers kBadQuerySyntax). Names are not
// checked against a database here.
[[nodiscard]] std::optional<ParsedSql> ParseSql(std::string_view sql);

}  // namespace kb::msi

#endif  // KITBINDER_MSI_SQL_SQL_PARSER_H_

#include "msi/sql/sql_parser.h"

#include <gtest/gtest.h>

namespace kb::msi {
namespace {

TEST(SqlParserTest, ReadsASelectWithConditionsAndOrder) {
  const auto parsed = ParseSql(
      "select `Name`, Data FROM `Binary` where (`Name`='a' OR Name <> ?) and `Binary`.`Data` "
      "IS NOT NULL ORDER BY `Name`");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->markers, 1u);
  const auto& select = std::get<SqlSelect>(parsed->statement);
  EXPECT_EQ(select.tables, (std::vector<std::string>{"Binary"}));
  ASSERT_EQ(select.columns.size(), 2u);
  EXPECT_EQ(std::get<SqlColumn>(select.columns[1]).name, "Data");
  ASSERT_EQ(select.order_by.size(), 1u);
  EXPECT_EQ(select.order_by[0].name, "Name");
  ASSERT_TRUE(select.where);
  EXPECT_EQ(select.where->kind, SqlCondition::Kind::kAnd);
  ASSERT_EQ(select.where->operands.size(), 2u);
  EXPECT_EQ(select.where->operands[0]->kind, SqlCondition::Kind::kOr);
  EXPECT_EQ(select.where->operands[1]->compare, SqlCompare::kIsNotNull);
}

TEST(SqlParserTest, ReadsChangesWithLiteralsAndMarkers) {
  const auto insert = ParseSql(
      "INSERT INTO `File` (`File`,`FileSize`,`Version`) VALUES "
      "('a b', -12, NULL) TEMPORARY");
  ASSERT_TRUE(insert);
  const auto& values = std::get<SqlInsert>(insert->statement);
  EXPECT_TRUE(values.temporary);
  EXPECT_EQ(std::get<std::string>(values.values[0]), "a b");
  EXPECT_EQ(std::get<int>(values.values[1]), -12);
  EXPECT_TRUE(std::holds_alternative<SqlNull>(values.values[2]));

  const auto update = ParseSql("UPDATE `Property` SET `Value`=? WHERE `Property`=?");
  ASSERT_TRUE(update);
  EXPECT_EQ(update->markers, 2u);
  const auto& set = std::get<SqlUpdate>(update->statement);
  EXPECT_EQ(std::get<SqlMarker>(set.assignments[0].second).index, 1u);

  EXPECT_TRUE(ParseSql("delete from `Shortcut` where `Shortcut`='x'"));
  EXPECT_TRUE(ParseSql("DROP TABLE `Temp`"));
}

TEST(SqlParserTest, ReadsColumnTypesOfCreateTable) {
  const auto parsed = ParseSql(
      "CREATE TABLE `T` (`K` CHAR(72) NOT NULL, `S` SHORT, `L` LONG NOT NULL, `D` LONGCHAR "
      "LOCALIZABLE, `O` OBJECT, `X` INT TEMPORARY PRIMARY KEY `K`, `S`)");
  ASSERT_TRUE(parsed);
  const TableSchema& schema = std::get<SqlCreate>(parsed->statement).schema;
  ASSERT_EQ(schema.columns.size(), 6u);
  std::vector<std::string> types;
  for (const ColumnDef& column : schema.columns) types.push_back(column.type.ToArchive());
  EXPECT_EQ(types, (std::vector<std::string>{"s72", "I2", "i4", "L0", "V0", "J2"}));
  EXPECT_EQ(schema.KeyColumns(), (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(schema.columns[0].type.bits(), 0x2D48);  // as the installer's catalog stores it
}

TEST(SqlParserTest, RefusesMalformedStatements) {
  for (const char* sql :
       {"", "SELECT", "SELECT * FROM", "SELECT * FROM `T` WHERE", "SELECT * FROM T WHERE a = 'open",
        "INSERT INTO T (a) VALUES (1, 2)", "INSERT INTO T (a) VALUES (a)", "UPDATE T SET a",
        "DELETE T", "CREATE TABLE T (a CHAR(72))", "CREATE TABLE T (a BLOB PRIMARY KEY a)",
        "CREATE TABLE T (a SHORT PRIMARY KEY b)", "SELECT * FROM T extra",
        "SELECT * FROM T WHERE a = 1 AND", "SELECT * FROM T WHERE a ! 1",
        "SELECT * FROM T WHERE (a = 1"}) {
    EXPECT_FALSE(ParseSql(sql)) << sql;
  }
}

}  // namespace
}  // namespace kb::msi

// Rows whose key holds null (empty) text, as the Upgrade table of every package has them: each
// way of reaching a row by its key finds them like any other row.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "sql_helpers.h"
#include "test_support/temp_dir.h"

namespace kb::msi::test {
namespace {

using Rows_ = std::vector<std::vector<std::string>>;

class NullKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = (dir_.path() / "keys.msi").string();
    ASSERT_EQ(MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_CREATE, db_.Receive()), ERROR_SUCCESS);
    Sql("CREATE TABLE `U` (`Code` CHAR(38) NOT NULL, `Max` CHAR(20), `Lang` CHAR(20), "
        "`N` SHORT PRIMARY KEY `Code`, `Max`, `Lang`)");
    Sql("CREATE TABLE `P` (`Ref` CHAR(38) NOT NULL, `Note` CHAR(8) PRIMARY KEY `Ref`)");
    Sql("INSERT INTO `U` (`Code`, `Max`, `Lang`, `N`) VALUES ('c', '1.0', '', 1)");
    Sql("INSERT INTO `U` (`Code`, `Max`, `N`) VALUES ('c', '', 2)");
    Sql("INSERT INTO `P` (`Ref`, `Note`) VALUES ('c', 'p')");
  }

  void Sql(const std::string& sql) { ASSERT_EQ(RunSql(db_.get(), sql), ERROR_SUCCESS) << sql; }

  Rows_ All() { return Rows(db_.get(), "SELECT * FROM `U`"); }

  // Fetches the row of `U` whose N is `n` through a view of every column and applies `mode`
  // to it with `Max` set to `max` first when given.
  UINT ModifyFetched(int n, MSIMODIFY mode, const char* max = nullptr) {
    ScopedHandle view;
    ScopedHandle row;
    const std::string sql = "SELECT * FROM `U` WHERE `N` = " + std::to_string(n);
    if (MsiDatabaseOpenViewA(db_.get(), sql.c_str(), view.Receive()) != ERROR_SUCCESS ||
        MsiViewExecute(view.get(), 0) != ERROR_SUCCESS ||
        MsiViewFetch(view.get(), row.Receive()) != ERROR_SUCCESS) {
      return ERROR_FUNCTION_FAILED;
    }
    MsiRecordSetInteger(row.get(), 4, 40 + n);
    if (max != nullptr) MsiRecordSetStringA(row.get(), 2, max);
    return MsiViewModify(view.get(), mode, row.get());
  }

  kb::test::TempDir dir_;
  ScopedHandle db_;
};

TEST_F(NullKeyTest, SelectAndWhereFindRowsWithNullKeys) {
  EXPECT_EQ(All(), (Rows_{{"c", "", "", "2"}, {"c", "1.0", "", "1"}}));
  const std::vector<std::pair<std::string, Rows_>> cases = {
      {"SELECT `N` FROM `U` WHERE `Max` IS NULL", {{"2"}}},
      {"SELECT `N` FROM `U` WHERE `Max` = ''", {{"2"}}},
      {"SELECT `N` FROM `U` WHERE `Lang` IS NULL AND `Code` = 'c' ORDER BY `N`", {{"1"}, {"2"}}},
      {"SELECT `N`, `Note` FROM `U`, `P` WHERE `Code` = `Ref` ORDER BY `N`",
       {{"1", "p"}, {"2", "p"}}},
      {"SELECT `N`, `Note` FROM `P`, `U` WHERE `Ref` = `Code` ORDER BY `N`",
       {{"1", "p"}, {"2", "p"}}},
  };
  for (const auto& [sql, expected] : cases) EXPECT_EQ(Rows(db_.get(), sql), expected) << sql;
}

TEST_F(NullKeyTest, StatementsChangeRowsWithNullKeys) {
  Sql("UPDATE `U` SET `N` = 5 WHERE `Max` IS NULL");
  EXPECT_EQ(All(), (Rows_{{"c", "", "", "5"}, {"c", "1.0", "", "1"}}));
  Sql("DELETE FROM `U` WHERE `N` = 5");
  EXPECT_EQ(All(), (Rows_{{"c", "1.0", "", "1"}}));
  // The key with two null columns is free again, and a second row with it is refused.
  Sql("INSERT INTO `U` (`Code`, `N`) VALUES ('c', 3)");
  EXPECT_EQ(RunSql(db_.get(), "INSERT INTO `U` (`Code`, `Max`, `N`) VALUES ('c', '', 4)"),
            ERROR_FUNCTION_FAILED);
}

TEST_F(NullKeyTest, ModifyModesReachRowsWithNullKeys) {
  struct Case {
    MSIMODIFY mode;
    Rows_ after;
  };
  const std::vector<Case> cases = {
      {MSIMODIFY_UPDATE, {{"c", "", "", "42"}, {"c", "1.0", "", "1"}}},
      {MSIMODIFY_ASSIGN, {{"c", "", "", "42"}, {"c", "1.0", "", "1"}}},
      {MSIMODIFY_REPLACE, {{"c", "", "", "42"}, {"c", "1.0", "", "1"}}},
      {MSIMODIFY_MERGE, {{"c", "", "", "2"}, {"c", "1.0", "", "1"}}},
      {MSIMODIFY_DELETE, {{"c", "1.0", "", "1"}}},
  };
  for (const Case& c : cases) {
    SetUp();  // a fresh database for each mode
    // MERGE of a row that exists with other values is refused and changes nothing.
    const UINT expected = c.mode == MSIMODIFY_MERGE ? ERROR_FUNCTION_FAILED : ERROR_SUCCESS;
    EXPECT_EQ(ModifyFetched(2, c.mode), expected) << c.mode;
    EXPECT_EQ(All(), c.after) << c.mode;
  }
  SetUp();
  // SEEK and REFRESH find the row again by its null keys.
  ScopedHandle view;
  ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT * FROM `U`", view.Receive()), ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  ScopedHandle seek = TextRecord({"c", "", "", ""});
  ASSERT_EQ(MsiViewModify(view.get(), MSIMODIFY_SEEK, seek.get()), ERROR_SUCCESS);
  EXPECT_EQ(FieldText(seek.get(), 4), "2");
  Sql("UPDATE `U` SET `N` = 7 WHERE `N` = 2");
  ASSERT_EQ(MsiViewModify(view.get(), MSIMODIFY_REFRESH, seek.get()), ERROR_SUCCESS);
  EXPECT_EQ(FieldText(seek.get(), 4), "7");
}

}  // namespace
}  // namespace kb::msi::test

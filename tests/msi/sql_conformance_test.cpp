// SQL as msi.dll reads it, beyond what the Wine transcript compares step by step: joins found
// through an index give what pairing every row gives, constant columns, sorted rows beyond
// their memory budget, and the string-pool order of text and tables in what we write, read
// back by msitools.
#include <gtest/gtest.h>

#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "crafted_file.h"
#include "failing_syscalls.h"
#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "msi/db/stream_name.h"
#include "msi/sql/view.h"
#include "ole_oracle.h"
#include "peer_databases.h"
#include "sql_helpers.h"
#include "test_support/needs.h"
#include "test_support/run_command.h"
#include "test_support/temp_dir.h"
#include "test_support/text_file.h"

namespace kb::msi {

// Lowers the memory a view's sorted rows may hold, so that a few rows go through the file.
class ViewSortSeam {
 public:
  static void SetBudget(View& view, std::size_t bytes) { view.sort_budget_ = bytes; }
};

namespace test {
namespace {

using Rows_ = std::vector<std::vector<std::string>>;

class SqlConformanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (dir_.path() / "sql.msi").string();
    ASSERT_EQ(MsiOpenDatabaseA(path_.c_str(), MSIDBOPEN_CREATE, db_.Receive()), ERROR_SUCCESS);
  }

  void Sql(const std::string& sql) { ASSERT_EQ(RunSql(db_.get(), sql), ERROR_SUCCESS) << sql; }

  kb::test::TempDir dir_;
  std::string path_;
  ScopedHandle db_;
};

TEST_F(SqlConformanceTest, JoinThroughAnIndexGivesWhatPairingEveryRowGives) {
  Sql("CREATE TABLE `A` (`K` CHAR(8) NOT NULL, `X` CHAR(8), `N` SHORT PRIMARY KEY `K`)");
  Sql("CREATE TABLE `B` (`K2` SHORT NOT NULL, `Y` CHAR(8), `M` LONG PRIMARY KEY `K2`)");
  Sql("CREATE TABLE `C` (`Z` CHAR(8) NOT NULL, `W` SHORT PRIMARY KEY `Z`)");
  // Repeated values, nulls on both sides, keys inserted out of order.
  for (int i = 0; i < 80; ++i) {
    const std::string x = i % 7 == 0 ? "NULL" : "'v" + std::to_string(i % 13) + "'";
    const std::string n = i % 5 == 0 ? "NULL" : std::to_string(i % 9);
    Sql("INSERT INTO `A` (`K`, `X`, `N`) VALUES ('k" + std::to_string((i * 37) % 80) + "', " + x +
        ", " + n + ")");
    const std::string y = i % 11 == 0 ? "NULL" : "'v" + std::to_string(i % 17) + "'";
    Sql("INSERT INTO `B` (`K2`, `Y`, `M`) VALUES (" + std::to_string((i * 53) % 80) + ", " + y +
        ", " + std::to_string(i % 4) + ")");
    if (i < 8) {
      Sql("INSERT INTO `C` (`Z`, `W`) VALUES ('v" + std::to_string(i) + "', " +
          std::to_string(i % 3) + ")");
    }
  }
  // An equality inside OR is no join condition the index can serve: it pairs every row.
  const std::vector<std::pair<std::string, std::string>> joins = {
      {"`X` = `Y`", "(`X` = `Y` OR `X` = `Y`)"},
      {"`N` = `M` AND `X` <> 'v1'", "(`N` = `M` OR `N` = `M`) AND `X` <> 'v1'"},
      {"`B`.`M` = `A`.`N`", "(`B`.`M` = `A`.`N` OR `M` = `N`)"},
  };
  for (const auto& [indexed, paired] : joins) {
    const std::string select = "SELECT `K`, `X`, `K2`, `Y` FROM `A`, `B` WHERE ";
    const Rows_ rows = Rows(db_.get(), select + indexed);
    EXPECT_GT(rows.size(), 20u) << indexed;
    EXPECT_EQ(rows, Rows(db_.get(), select + paired)) << indexed;
    EXPECT_EQ(Rows(db_.get(), select + indexed + " ORDER BY `Y`, `K`"),
              Rows(db_.get(), select + paired + " ORDER BY `Y`, `K`"))
        << indexed;
  }
  const std::string three = "SELECT `K`, `K2`, `W` FROM `A`, `B`, `C` WHERE ";
  const Rows_ rows = Rows(db_.get(), three + "`X` = `Z` AND `Y` = `Z` AND `W` = 1");
  EXPECT_FALSE(rows.empty());
  EXPECT_EQ(rows, Rows(db_.get(), three + "(`X` = `Z` OR `X` = `Z`) AND (`Y` = `Z` OR `Y` = `Z`) "
                                          "AND `W` = 1"));
  EXPECT_EQ(Rows(db_.get(), "SELECT DISTINCT `X` FROM `A`, `B` WHERE `X` = `Y`"),
            Rows(db_.get(), "SELECT DISTINCT `X` FROM `A`, `B` WHERE (`X` = `Y` OR `X` = `Y`)"));
}

TEST_F(SqlConformanceTest, ViewsOfAJoinOnlyUpdateAndRefresh) {
  Sql("CREATE TABLE `P` (`K` SHORT NOT NULL, `V` CHAR(8) PRIMARY KEY `K`)");
  Sql("CREATE TABLE `Q` (`R` SHORT NOT NULL, `K_` SHORT PRIMARY KEY `R`)");
  Sql("INSERT INTO `P` (`K`, `V`) VALUES (1, 'one')");
  Sql("INSERT INTO `Q` (`R`, `K_`) VALUES (7, 1)");
  ScopedHandle view;
  ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT `K_`, `V` FROM `Q`, `P` WHERE `K_` = `K`",
                                 view.Receive()),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  ScopedHandle row;
  ASSERT_EQ(MsiViewFetch(view.get(), row.Receive()), ERROR_SUCCESS);
  MsiRecordSetInteger(row.get(), 1, 2);
  MsiRecordSetStringA(row.get(), 2, "uno");
  EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_UPDATE, row.get()), ERROR_SUCCESS);
  for (const MSIMODIFY mode : {MSIMODIFY_SEEK, MSIMODIFY_INSERT, MSIMODIFY_ASSIGN,
                               MSIMODIFY_REPLACE, MSIMODIFY_MERGE, MSIMODIFY_DELETE}) {
    EXPECT_EQ(MsiViewModify(view.get(), mode, row.get()), ERROR_FUNCTION_FAILED) << mode;
  }
  MsiRecordSetStringA(row.get(), 2, "away");
  EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_REFRESH, row.get()), ERROR_SUCCESS);
  EXPECT_EQ(FieldText(row.get(), 2), "uno");
  // Each table took its own columns of the record.
  EXPECT_EQ(Rows(db_.get(), "SELECT * FROM `Q`"), (Rows_{{"7", "2"}}));
  EXPECT_EQ(Rows(db_.get(), "SELECT * FROM `P`"), (Rows_{{"1", "uno"}}));
}

TEST_F(SqlConformanceTest, ConstantColumnsCarryTheirValueInEveryRow) {
  Sql("CREATE TABLE `T` (`K` CHAR(8) NOT NULL PRIMARY KEY `K`)");
  Sql("INSERT INTO `T` (`K`) VALUES ('a')");
  Sql("INSERT INTO `T` (`K`) VALUES ('b')");
  EXPECT_EQ(Rows(db_.get(), "SELECT 'text', -5, '', `K` FROM `T`"),
            (Rows_{{"text", "-5", "", "a"}, {"text", "-5", "", "b"}}));
  EXPECT_EQ(Rows(db_.get(), "SELECT *, 'x', `K` FROM `T`"),
            (Rows_{{"a", "x", "a"}, {"b", "x", "b"}}));
  ScopedHandle view;
  ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT 7, `K` FROM `T`", view.Receive()),
            ERROR_SUCCESS);
  ScopedHandle types;
  ASSERT_EQ(MsiViewGetColumnInfo(view.get(), MSICOLINFO_TYPES, types.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(FieldText(types.get(), 1), "f0");
  EXPECT_EQ(FieldText(types.get(), 2), "s8");
  EXPECT_EQ(RunSql(db_.get(), "SELECT NULL, `K` FROM `T`"), ERROR_BAD_QUERY_SYNTAX);
  EXPECT_EQ(RunSql(db_.get(), "SELECT ?, `K` FROM `T`"), ERROR_BAD_QUERY_SYNTAX);
}

// A join is found row by row as it is fetched: the first rows of 10,000 x 10,000 come without
// the hundred million being gathered, rows changed between fetches are found again, and a
// statement naming more tables than the installer joins is refused before any is read.
TEST_F(SqlConformanceTest, JoinsAreFetchedRowByRow) {
  for (const char* table : {"Big1", "Big2"}) {
    std::string archive = "N\r\ni4\r\n" + std::string(table) + "\tN\r\n";
    for (int n = 0; n < 10000; ++n) archive += std::to_string(n) + "\r\n";
    kb::test::WriteText(dir_.path() / "arc" / (std::string(table) + ".idt"), archive);
    ASSERT_EQ(MsiDatabaseImportA(db_.get(), (dir_.path() / "arc").c_str(),
                                 (std::string(table) + ".idt").c_str()),
              ERROR_SUCCESS);
  }
  ScopedHandle view;
  ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(),
                                 "SELECT `Big1`.`N`, `Big2`.`N` FROM `Big1`, `Big2` WHERE "
                                 "`Big1`.`N` <> `Big2`.`N`",
                                 view.Receive()),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  std::vector<std::string> first;
  for (int i = 0; i < 3; ++i) {
    ScopedHandle row;
    ASSERT_EQ(MsiViewFetch(view.get(), row.Receive()), ERROR_SUCCESS);
    first.push_back(FieldText(row.get(), 1) + "," + FieldText(row.get(), 2));
  }
  // The last table outermost.
  EXPECT_EQ(first, (std::vector<std::string>{"1,0", "2,0", "3,0"}));

  Sql("CREATE TABLE `A` (`K` SHORT NOT NULL PRIMARY KEY `K`)");
  Sql("CREATE TABLE `B` (`J` SHORT NOT NULL PRIMARY KEY `J`)");
  for (const char* k : {"1", "2", "3"})
    Sql(std::string("INSERT INTO `A` (`K`) VALUES (") + k + ")");
  for (const char* j : {"1", "2"}) Sql(std::string("INSERT INTO `B` (`J`) VALUES (") + j + ")");
  // Each case: what happens after the first row (1,1), then the rows that follow.
  const std::vector<std::pair<std::string, Rows_>> changes = {
      {"DELETE FROM `A` WHERE `K` = 2", {{"3", "1"}, {"1", "2"}, {"3", "2"}}},
      {"DELETE FROM `A` WHERE `K` = 1", {{"2", "1"}, {"3", "1"}, {"2", "2"}, {"3", "2"}}},
      {"INSERT INTO `A` (`K`) VALUES (0)",
       {{"2", "1"}, {"3", "1"}, {"0", "2"}, {"1", "2"}, {"2", "2"}, {"3", "2"}}},
  };
  for (const auto& [change, expected] : changes) {
    ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT `K`, `J` FROM `A`, `B`", view.Receive()),
              ERROR_SUCCESS);
    ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
    ScopedHandle row;
    ASSERT_EQ(MsiViewFetch(view.get(), row.Receive()), ERROR_SUCCESS);
    EXPECT_EQ(FieldText(row.get(), 1) + "," + FieldText(row.get(), 2), "1,1") << change;
    Sql(change);
    Rows_ rest;
    while (MsiViewFetch(view.get(), row.Receive()) == ERROR_SUCCESS) {
      rest.push_back({FieldText(row.get(), 1), FieldText(row.get(), 2)});
    }
    EXPECT_EQ(rest, expected) << change;
    Sql("DELETE FROM `A`");
    for (const char* k : {"1", "2", "3"}) {
      Sql(std::string("INSERT INTO `A` (`K`) VALUES (") + k + ")");
    }
  }

  std::string tables = "`A`";
  for (int i = 1; i < 32; ++i) {
    const std::string name = "T" + std::to_string(i);
    Sql("CREATE TABLE `" + name + "` (`C" + name + "` SHORT NOT NULL PRIMARY KEY `C" + name + "`)");
    Sql("INSERT INTO `" + name + "` (`C" + name + "`) VALUES (" + std::to_string(i) + ")");
    tables += ", `" + name + "`";
  }
  EXPECT_EQ(Rows(db_.get(), "SELECT `K`, `CT31` FROM " + tables + " WHERE `K` = 3"),
            (Rows_{{"3", "31"}}));
  EXPECT_EQ(RunSql(db_.get(), "SELECT `K` FROM " + tables + ", `B`"), ERROR_BAD_QUERY_SYNTAX);
  std::string many = "SELECT `K` FROM `A`";
  for (int i = 0; i < 50000; ++i) many += ", `B`";
  EXPECT_EQ(RunSql(db_.get(), many), ERROR_BAD_QUERY_SYNTAX);
}

TEST_F(SqlConformanceTest, TextAndTablesStayInStringPoolOrderInWhatWeWrite) {
  if (const auto missing = kb::test::MissingTools({"msiinfo"})) GTEST_SKIP() << *missing;
  // The value "Zeta" enters the pool before the table names created after it.
  Sql("CREATE TABLE `Words` (`Word` CHAR(8) NOT NULL, `Rank` SHORT PRIMARY KEY `Word`)");
  for (const char* word : {"Zeta", "alpha", "Mid", "beta"}) {
    Sql(std::string("INSERT INTO `Words` (`Word`, `Rank`) VALUES ('") + word + "', 1)");
  }
  Sql("CREATE TABLE `Yankee` (`A` SHORT NOT NULL PRIMARY KEY `A`)");
  Sql("CREATE TABLE `Zeta` (`A` SHORT NOT NULL PRIMARY KEY `A`)");
  const Rows_ order = {{"Words"}, {"Zeta"}, {"Yankee"}};
  EXPECT_EQ(Rows(db_.get(), "SELECT `Name` FROM `_Tables`"), order);
  const Rows_ words = {{"Zeta"}, {"alpha"}, {"Mid"}, {"beta"}};
  EXPECT_EQ(Rows(db_.get(), "SELECT `Word` FROM `Words` ORDER BY `Rank`, `Word`"), words);
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  db_.Reset();
  ASSERT_EQ(MsiOpenDatabaseA(path_.c_str(), MSIDBOPEN_READONLY, db_.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(Rows(db_.get(), "SELECT `Name` FROM `_Tables`"), order);
  EXPECT_EQ(Rows(db_.get(), "SELECT `Word` FROM `Words` ORDER BY `Word`"), words);
  // msitools reads the file we wrote and lists its tables and rows in the same order.
  int status = 0;
  EXPECT_EQ(kb::test::RunCommand("msiinfo tables '" + path_ + "'", &status),
            "_SummaryInformation\n_ForceCodepage\nWords\nZeta\nYankee\n");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(kb::test::RunCommand("msiinfo export '" + path_ + "' Words", &status),
            "Word\tRank\r\ns8\tI2\r\nWords\tWord\r\nZeta\t1\r\nalpha\t1\r\nMid\t1\r\nbeta\t1\r\n");
  EXPECT_EQ(status, 0);
}

TEST_F(SqlConformanceTest, StatementsAreReadAsMsiDllReadsThem) {
  Sql("CREATE TABLE `c` (`b` CHAR NOT NULL PRIMARY KEY `b`)");
  const struct {
    const char* sql;
    UINT expected;
  } statements[] = {
      // A carriage return outside quotes is refused wherever it stands; in a table name it is
      // part of the name.
      {"CREATE TABLE `T`\r ( `A` CHAR(72) NOT NULL PRIMARY KEY `A` )", ERROR_BAD_QUERY_SYNTAX},
      {"CREATE TABLE `T` ( `A` CHAR(72) NOT NULL PRIMARY KEY `A` )\r", ERROR_BAD_QUERY_SYNTAX},
      {"\r\nSELECT * FROM `c`", ERROR_BAD_QUERY_SYNTAX},
      {"CREATE TABLE `T` ( `A` CHAR(72\r) NOT NULL PRIMARY KEY `A` )", ERROR_BAD_QUERY_SYNTAX},
      {"CREATE TABLE `Tw\ro` ( `A` CHAR(72) NOT NULL PRIMARY KEY `A` )", ERROR_SUCCESS},
      {"SELECT * FROM `c` WHERE `b` = 'a\r\nb'", ERROR_SUCCESS},
      // A back-quote right after a bare word is dropped; one opening a name must close.
      {"select `c`.b` from `c`", ERROR_SUCCESS},
      {"select c`.`b` from `c`", ERROR_SUCCESS},
      {"select `c`.`b` from c`", ERROR_SUCCESS},
      {"select `c.`b` from `c`", ERROR_BAD_QUERY_SYNTAX},
      {"select `c`.`b from `c`", ERROR_BAD_QUERY_SYNTAX},
      // Control characters belong to bare words, and so does a leading hyphen before a letter.
      {"CREATE TABLE `\5a` (`b` CHAR NOT NULL PRIMARY KEY `b`)", ERROR_SUCCESS},
      {"SELECT * FROM \5a", ERROR_SUCCESS},
      {"CREATE TABLE `-a` (`b` CHAR NOT NULL PRIMARY KEY `b`)", ERROR_SUCCESS},
      {"SELECT * FROM -a", ERROR_SUCCESS},
      {"SELECT * FROM `c` WHERE `b` = -1", ERROR_SUCCESS},
      // An empty back-quoted name is no column; empty text is a constant column.
      {"SELECT `` FROM `c`", ERROR_BAD_QUERY_SYNTAX},
      {"SELECT `b`, '' FROM `c`", ERROR_SUCCESS},
      // * may be followed by more columns.
      {"SELECT *, `c`.`b`, 'x' FROM `c` WHERE `c`.`b` = 'x'", ERROR_SUCCESS},
      {"SELECT *, FROM `c`", ERROR_BAD_QUERY_SYNTAX},
  };
  for (const auto& [sql, expected] : statements) EXPECT_EQ(RunSql(db_.get(), sql), expected) << sql;
  const Rows_ tables = {{"c"}, {"Tw\ro"}, {"\5a"}, {"-a"}};
  EXPECT_EQ(Rows(db_.get(), "SELECT `Name` FROM `_Tables`"), tables);
}

TEST_F(SqlConformanceTest, MergeComparesTheWholeRowThroughAnyView) {
  Sql("CREATE TABLE `U` (`A` SHORT, `B` SHORT, `C` SHORT, `D` SHORT PRIMARY KEY `A`, `B`)");
  Sql("INSERT INTO `U` (`A`, `B`, `C`, `D`) VALUES (1, 2, 3, 4)");
  // The record's columns outside the view, key columns too, count as null.
  const struct {
    const char* view;
    std::vector<int> fields;
    UINT expected;
  } merges[] = {
      {"SELECT * FROM `U`", {1, 2, 3, 4}, ERROR_SUCCESS},
      {"SELECT * FROM `U`", {1, 2, 4, 4}, ERROR_FUNCTION_FAILED},
      {"SELECT * FROM `U`", {1, 4, 4, 4}, ERROR_SUCCESS},
      {"SELECT `A`, `C` FROM `U`", {1, 2}, ERROR_SUCCESS},
      {"SELECT `A`, `C` FROM `U`", {1, 2}, ERROR_SUCCESS},
      {"SELECT `A`, `C` FROM `U`", {1, 3}, ERROR_FUNCTION_FAILED},
      {"SELECT `A`, `B`, `C` FROM `U`", {1, 2, 3}, ERROR_FUNCTION_FAILED},
      {"SELECT `A`, `B`, `C` FROM `U`", {1, MSI_NULL_INTEGER, 2}, ERROR_SUCCESS},
      {"SELECT * FROM `U` WHERE `A` = 1", {5, 6, 7, 8}, ERROR_SUCCESS},
  };
  for (const auto& [sql, fields, expected] : merges) {
    ScopedHandle view;
    ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(), sql, view.Receive()), ERROR_SUCCESS);
    ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
    ScopedHandle record(MsiCreateRecord(static_cast<UINT>(fields.size())));
    for (std::size_t i = 0; i < fields.size(); ++i) {
      MsiRecordSetInteger(record.get(), static_cast<UINT>(i + 1), fields[i]);
    }
    EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_MERGE, record.get()), expected) << sql;
  }
  // An insert needs no executed view, and its WHERE does not hold it back.
  ScopedHandle view;
  ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT * FROM `U` WHERE `B` = 3", view.Receive()),
            ERROR_SUCCESS);
  ScopedHandle record = TextRecord({"7", "8", "9", "10"});
  EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_INSERT_TEMPORARY, record.get()), ERROR_SUCCESS);
  const Rows_ rows = {{"1", "", "2", ""},
                      {"1", "2", "3", "4"},
                      {"1", "4", "4", "4"},
                      {"5", "6", "7", "8"},
                      {"7", "8", "9", "10"}};
  EXPECT_EQ(Rows(db_.get(), "SELECT * FROM `U` ORDER BY `A`, `B`"), rows);
}

TEST_F(SqlConformanceTest, SortedJoinGoesOnThroughChangesMadeWhileFetching) {
  Sql("CREATE TABLE `Mesa` (`A` SHORT NOT NULL, `B` CHAR(8) PRIMARY KEY `A`)");
  Sql("CREATE TABLE `Side` (`D` SHORT NOT NULL, `F` SHORT PRIMARY KEY `D`)");
  for (const char* row : {"(1, 'x')", "(3, 'y')", "(5, 'z')"}) {
    Sql(std::string("INSERT INTO `Mesa` (`A`, `B`) VALUES ") + row);
  }
  for (const char* row : {"(10, 18)", "(12, 16)", "(14, 17)"}) {
    Sql(std::string("INSERT INTO `Side` (`D`, `F`) VALUES ") + row);
  }
  ScopedHandle view;
  ASSERT_EQ(
      MsiDatabaseOpenViewA(db_.get(), "SELECT `A`, `B`, `D` FROM `Mesa`, `Side` ORDER BY `F`, `B`",
                           view.Receive()),
      ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  Rows_ fetched;
  ScopedHandle record;
  while (MsiViewFetch(view.get(), record.Receive()) == ERROR_SUCCESS) {
    fetched.push_back(
        {FieldText(record.get(), 1), FieldText(record.get(), 2), FieldText(record.get(), 3)});
    if (fetched.size() == 2) {
      // Rows move in the tables: a new key before every other, one row gone, one changed.
      Sql("INSERT INTO `Mesa` (`A`, `B`) VALUES (0, 'w')");
      Sql("DELETE FROM `Side` WHERE `D` = 14");
      Sql("UPDATE `Mesa` SET `B` = 'q' WHERE `A` = 5");
    }
  }
  // In F order (16, 17, 18), equal F in B order; the row added since Execute is not among
  // them, those of the deleted row are skipped, the changed row shows its new value.
  const Rows_ expected = {{"1", "x", "12"}, {"3", "y", "12"}, {"5", "q", "12"},
                          {"1", "x", "10"}, {"3", "y", "10"}, {"5", "q", "10"}};
  EXPECT_EQ(fetched, expected);
}

// A sorted SELECT whose rows pass its memory budget sorts them in runs through a temporary
// file: with a budget of a few rows (many runs, merged two at a time) every shape of statement
// gives exactly what the sort in memory gives, changes made while fetching included, and a
// failing write of the file fails the statement.
class SortedSelectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(
        Database::Open((dir_.path() / "sorted.msi").string(), Database::OpenMode::kCreate, &db_),
        kSuccess);
  }

  ErrorCode Execute(const std::string& sql, std::size_t budget, std::unique_ptr<View>* view) {
    const ErrorCode prepared = View::Prepare(db_, sql, view);
    if (prepared != kSuccess) return prepared;
    ViewSortSeam::SetBudget(**view, budget);
    return (*view)->Execute(nullptr);
  }

  void Sql(const std::string& sql) {
    std::unique_ptr<View> view;
    ASSERT_EQ(Execute(sql, SortedRows::kMemoryBudget, &view), kSuccess) << sql;
  }

  // Every row of `sql`, twice over, fields as text; `changes` run after the third fetch.
  Rows_ Fetched(const std::string& sql, std::size_t budget,
                const std::vector<std::string>& changes = {}) {
    std::unique_ptr<View> view;
    EXPECT_EQ(Execute(sql, budget, &view), kSuccess) << sql;
    Rows_ rows;
    std::unique_ptr<Record> record;
    for (int round = 0; view && round < 2; ++round) {
      while (view->Fetch(&record) == kSuccess) {
        rows.emplace_back();
        for (unsigned field = 1; field <= record->field_count(); ++field) {
          rows.back().push_back(record->GetString(field).value_or("?"));
        }
        if (rows.size() == 3) {
          for (const std::string& change : changes) Sql(change);
        }
      }
    }
    return rows;
  }

  kb::test::TempDir dir_;
  std::shared_ptr<Database> db_;
};

TEST_F(SortedSelectTest, RunsThroughAFileGiveTheOrderOfTheSortInMemory) {
  Sql("CREATE TABLE `Part` (`K` SHORT NOT NULL, `Name` CHAR(16), `Size` LONG PRIMARY KEY `K`)");
  Sql("CREATE TABLE `Kind` (`Id` CHAR(8) NOT NULL, `Rank` SHORT PRIMARY KEY `Id`)");
  Sql("CREATE TABLE `Bin` (`B` SHORT NOT NULL PRIMARY KEY `B`)");
  // Many ties, nulls among text and integers, keys out of order.
  for (int i = 0; i < 60; ++i) {
    const std::string name = i % 9 == 0 ? "NULL" : "'n" + std::to_string(i * 7 % 11) + "'";
    const std::string size = i % 8 == 0 ? "NULL" : std::to_string(i * 5 % 13);
    Sql("INSERT INTO `Part` (`K`, `Name`, `Size`) VALUES (" + std::to_string(i * 31 % 60) + ", " +
        name + ", " + size + ")");
  }
  for (int i = 0; i < 8; ++i) {
    Sql("INSERT INTO `Kind` (`Id`, `Rank`) VALUES ('k" + std::to_string(i) + "', " +
        std::to_string(i % 3) + ")");
  }
  for (const char* bin : {"3", "1", "2"})
    Sql(std::string("INSERT INTO `Bin` (`B`) VALUES (") + bin + ")");
  const struct {
    std::string sql;
    std::vector<std::string> changes, undo;
  } cases[] = {
      {"SELECT `K`, `Name` FROM `Part` ORDER BY `Name`", {}, {}},
      {"SELECT `K`, `Size` FROM `Part` ORDER BY `Size`", {}, {}},
      {"SELECT `K`, `Name` FROM `Part`", {}, {}},
      {"SELECT `K`, `Id` FROM `Part`, `Kind` ORDER BY `Rank`, `Name`", {}, {}},
      {"SELECT `K`, `Id`, `B` FROM `Part`, `Kind`, `Bin` WHERE `Size` > 4 ORDER BY `B`, `Size`",
       {},
       {}},
      {"SELECT DISTINCT `Name`, `Rank` FROM `Part`, `Kind` ORDER BY `Rank`", {}, {}},
      {"SELECT `K`, `Id`, `Name` FROM `Part`, `Kind` ORDER BY `Rank`, `Size`",
       {"INSERT INTO `Part` (`K`, `Name`, `Size`) VALUES (-1, 'new', 0)",
        "DELETE FROM `Kind` WHERE `Id` = 'k4'",
        "UPDATE `Part` SET `Name` = 'changed' WHERE `K` = 7"},
       {"DELETE FROM `Part` WHERE `K` = -1", "INSERT INTO `Kind` (`Id`, `Rank`) VALUES ('k4', 1)",
        "UPDATE `Part` SET `Name` = 'n6' WHERE `K` = 7"}},
  };
  for (const auto& [sql, changes, undo] : cases) {
    Rows_ results[2];
    for (const std::size_t budget : {SortedRows::kMemoryBudget, std::size_t{40}}) {
      results[budget == 40] = Fetched(sql, budget, changes);
      for (const std::string& change : undo) Sql(change);
    }
    EXPECT_GT(results[0].size(), 40u) << sql;
    EXPECT_EQ(results[1], results[0]) << sql;
  }

  // An ordinary statement makes no file; one through the file fails when a write of it does,
  // whichever write that is.
  const std::string sql = cases[3].sql;
  std::unique_ptr<View> view;
  FailNth(Syscall::kWrite, 1 << 30);
  EXPECT_EQ(Execute(sql, SortedRows::kMemoryBudget, &view), kSuccess);
  EXPECT_EQ(StopFailing(), 0);
  FailNth(Syscall::kWrite, 1 << 30);
  EXPECT_EQ(Execute(sql, 40, &view), kSuccess);
  const int writes = StopFailing();
  EXPECT_GT(writes, 10);
  for (const int failing : {0, writes / 2, writes - 1}) {
    FailNth(Syscall::kWrite, failing);
    EXPECT_EQ(Execute(sql, 40, &view), kFunctionFailed) << failing;
    StopFailing();
  }
}

TEST_F(SqlConformanceTest, NewDatabaseHoldsJustTheCatalogAndThePoolInWhatWeWrite) {
  if (const auto missing = kb::test::MissingTools({"olefile", "msiinfo"})) GTEST_SKIP() << *missing;
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  db_.Reset();
  std::string error;
  const Listing listing = ListWithOlefile(path_, &error);
  ASSERT_EQ(error, "");
  std::vector<std::string> names;
  for (const auto& [name, stream] : listing.streams) {
    names.push_back(DecodeStreamName(name).name + "=" + std::to_string(stream.size));
  }
  // No `_Columns` while no table has a column, as msi.dll writes a new database.
  EXPECT_EQ(names, (std::vector<std::string>{"_StringData=0", "_StringPool=4", "_Tables=0"}));
  int status = 0;
  EXPECT_EQ(kb::test::RunCommand("msiinfo tables '" + path_ + "'", &status),
            "_SummaryInformation\n_ForceCodepage\n");
  EXPECT_EQ(status, 0);
}

// What olefile sees below the root's sub-storages: their streams (path, size, CRC) and storages.
std::pair<std::map<std::u16string, Listing::Stream>, std::vector<std::u16string>> SubStorageTrees(
    const std::string& path) {
  std::string error;
  Listing listing = ListWithOlefile(path, &error);
  EXPECT_EQ(error, "");
  std::erase_if(listing.streams, [](const auto& s) { return s.first.find(u'/') == s.first.npos; });
  return {listing.streams, listing.storages};
}

// A `_Storages` row given a compound file (here with 4,096-byte sectors, a nested storage and
// an empty one) holds that file's whole tree from the commit on; its `Data` reads as msi.dll
// answers; rows that cannot be storages are refused; an uncommitted change leaves the file as
// it was, and a deleted row's storage goes at commit.
TEST_F(SqlConformanceTest, StoragesTableWritesWholeSubStoragesInWhatWeWrite) {
  if (const auto missing = kb::test::MissingTools({"olefile"})) GTEST_SKIP() << *missing;
  const std::string source = (dir_.path() / "transform.mst").string();
  const std::string plain = (dir_.path() / "plain.bin").string();
  const auto stgdata = std::as_bytes(std::span("stgdata", 8));
  const std::vector<CraftedStream> top = {{u"storage.bin", {stgdata.begin(), stgdata.end()}},
                                          {u"big", TestBytes(9000, 1)}};
  const std::vector<CraftedStorage> below = {
      {u"Sub", {{u"inner", TestBytes(200, 2)}, {u"large", TestBytes(5000, 3)}}}, {u"Empty", {}}};
  WriteFile(source, CraftCompoundFile(12, kInstallerDatabaseClsid, top, below));
  WriteFile(plain, TestBytes(3000, 4));
  const auto insert = [&](const char* name, const std::string& file) {
    ScopedHandle record(MsiCreateRecord(2));
    MsiRecordSetStringA(record.get(), 1, name);
    if (!file.empty()) {
      EXPECT_EQ(MsiRecordSetStreamA(record.get(), 2, file.c_str()), 0u);
    }
    return RunSql(db_.get(), "INSERT INTO `_Storages` (`Name`, `Data`) VALUES (?, ?)",
                  record.get());
  };
  ASSERT_EQ(insert("stgname", source), ERROR_SUCCESS);
  ASSERT_EQ(insert("second", source), ERROR_SUCCESS);
  const std::vector<std::pair<const char*, std::string>> refused = {
      {"stgname", source},                            // a taken name
      {"notastorage", plain},                         // no compound file
      {"nodata", ""},                                 // nothing to hold
      {"bad!name", source},                           // a character names cannot hold
      {"thirty_two_characters_long_name_", source}};  // one past what names can hold
  for (const auto& [name, file] : refused) EXPECT_EQ(insert(name, file), ERROR_FUNCTION_FAILED);

  ScopedHandle view;
  ASSERT_EQ(
      MsiDatabaseOpenViewA(db_.get(), "SELECT `Name`, `Data` FROM `_Storages`", view.Receive()),
      ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  ScopedHandle row;
  ASSERT_EQ(MsiViewFetch(view.get(), row.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(FieldText(row.get(), 1), "second");
  ASSERT_EQ(MsiViewFetch(view.get(), row.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(FieldText(row.get(), 1), "stgname");
  char buffer[] = "apple";
  DWORD size = sizeof(buffer);
  EXPECT_EQ(MsiRecordReadStream(row.get(), 2, buffer, &size), ERROR_INVALID_DATA);
  EXPECT_EQ(size, 0u);
  EXPECT_STREQ(buffer, "apple");
  EXPECT_EQ(MsiViewFetch(view.get(), row.Receive()), ERROR_NO_MORE_ITEMS);
  view.Reset();
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  db_.Reset();

  const auto committed = SubStorageTrees(path_);
  std::map<std::u16string, Listing::Stream> streams;
  std::vector<std::u16string> storages;
  for (const std::u16string name : {u"second", u"stgname"}) {
    for (const auto& stream : top) {
      streams[name + u"/" + stream.name] = {stream.data.size(), Crc(stream.data)};
    }
    for (const auto& stream : below[0].streams) {
      streams[name + u"/Sub/" + stream.name] = {stream.data.size(), Crc(stream.data)};
    }
    storages.insert(storages.end(), {name, name + u"/Empty", name + u"/Sub"});
  }
  EXPECT_EQ(committed.first, streams);
  EXPECT_EQ(committed.second, storages);

  // Rolled back: a third storage inserted (as the documentation does it, by MsiViewModify) and
  // the first deleted, without a commit.
  ASSERT_EQ(MsiOpenDatabaseA(path_.c_str(), MSIDBOPEN_TRANSACT, db_.Receive()), ERROR_SUCCESS);
  ASSERT_EQ(
      MsiDatabaseOpenViewA(db_.get(), "SELECT `Name`, `Data` FROM `_Storages`", view.Receive()),
      ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  row.Reset(MsiCreateRecord(2));
  MsiRecordSetStringA(row.get(), 1, "third");
  ASSERT_EQ(MsiRecordSetStreamA(row.get(), 2, source.c_str()), ERROR_SUCCESS);
  ASSERT_EQ(MsiViewModify(view.get(), MSIMODIFY_INSERT, row.get()), ERROR_SUCCESS);
  ASSERT_EQ(MsiViewFetch(view.get(), row.Receive()), ERROR_SUCCESS);
  MsiRecordSetStringA(row.get(), 1, "renamed");  // renaming is not supported: refused, not lost
  EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_UPDATE, row.get()), ERROR_FUNCTION_FAILED);
  view.Reset();
  Sql("DELETE FROM `_Storages` WHERE `Name` = 'stgname'");
  EXPECT_EQ(Rows(db_.get(), "SELECT `Name` FROM `_Storages`"), (Rows_{{"second"}, {"third"}}));
  db_.Reset();
  EXPECT_EQ(SubStorageTrees(path_), committed);

  // Deleted both ways the documentation gives: the row, or its data set to null.
  ASSERT_EQ(MsiOpenDatabaseA(path_.c_str(), MSIDBOPEN_TRANSACT, db_.Receive()), ERROR_SUCCESS);
  Sql("DELETE FROM `_Storages` WHERE `Name` = 'stgname'");
  Sql("UPDATE `_Storages` SET `Data` = NULL WHERE `Name` = 'second'");
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  db_.Reset();
  EXPECT_EQ(SubStorageTrees(path_), (decltype(committed){}));
}

}  // namespace
}  // namespace test
}  // namespace kb::msi

// Schema changes (ALTER TABLE, the column order of CREATE TABLE), temporary tables, columns and
// rows, and the faults a validating modify reports, as the installer documents them. What Wine's
// msi.dll answers for the same is compared in the transcript test; here the saved file is read
// back by msitools, and the life of held and freed columns is followed step by step.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "msi/db/idt_archive.h"
#include "msi/sql/sql_parser.h"
#include "msi/sql/view.h"
#include "sql_helpers.h"
#include "test_support/needs.h"
#include "test_support/run_command.h"
#include "test_support/temp_dir.h"
#include "test_support/text_file.h"

namespace kb::msi::test {
namespace {

using Table = std::vector<std::vector<std::string>>;

ScopedHandle OpenDatabase(const std::string& path, LPCSTR mode) {
  ScopedHandle database;
  EXPECT_EQ(MsiOpenDatabaseA(path.c_str(), mode, database.Receive()), ERROR_SUCCESS) << path;
  return database;
}

std::string Msiinfo(const std::string& arguments) {
  int status = 0;
  const std::string output = kb::test::RunCommand("msiinfo " + arguments + " 2>&1", &status);
  EXPECT_EQ(status, 0) << "msiinfo " << arguments << ": " << output;
  return output;
}

// A table named like a stream the storage keeps for itself would take its place in the file
// and leave the database unable to commit; such schemas are refused when the table is made,
// by SQL or by import, with the reason, and the database stays writable.
TEST(SchemaConformanceTest, TablesTheStorageCannotHoldAreRefusedWithTheReason) {
  kb::test::TempDir folder;
  std::shared_ptr<Database> database;
  ASSERT_EQ(Database::Open((folder.path() / "names.msi").string(), Database::OpenMode::kCreate,
                           &database),
            kSuccess);
  const std::string key = "`K` SHORT NOT NULL PRIMARY KEY `K`";
  const std::string long_name(61, 'L');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"CREATE TABLE `_StringData` (" + key + ")", "the name \"_StringData\" is kept by"},
      {"CREATE TABLE `_StringPool` (" + key + ")", "the name \"_StringPool\" is kept by"},
      {"CREATE TABLE `_Columns` (" + key + ")", ""},
      {"CREATE TABLE `` (" + key + ")", "a table needs a name"},
      {"CREATE TABLE `" + long_name + "` (" + key + ")", "is too long to name a stream"},
      {"CREATE TABLE `Twice` (`K` SHORT NOT NULL, `K` CHAR(5) PRIMARY KEY `K`)",
       "has two columns named \"K\""},
  };
  for (const auto& [sql, reason] : cases) {
    std::unique_ptr<View> view;
    ErrorCode error = View::Prepare(database, sql, &view);
    if (error == kSuccess) error = view->Execute(nullptr);
    EXPECT_NE(error, kSuccess) << sql;
    EXPECT_NE(database->last_refusal().find(reason), std::string::npos)
        << sql << ": " << database->last_refusal();
  }
  const std::string arc = (folder.path() / "arc").string();
  kb::test::WriteText(folder.path() / "arc" / "Pool.idt", "K\r\ni2\r\n_StringPool\tK\r\n1\r\n");
  EXPECT_EQ(ImportArchive(*database, arc, "Pool.idt"), kFunctionFailed);
  EXPECT_NE(database->last_refusal().find("\"_StringPool\" is kept"), std::string::npos);
  kb::test::WriteText(folder.path() / "arc" / "Two.idt", "K\tK\r\ni2\ts5\r\nTwo\tK\r\n");
  EXPECT_EQ(ImportArchive(*database, arc, "Two.idt"), kFunctionFailed);
  EXPECT_NE(database->last_refusal().find("two columns named \"K\""), std::string::npos);
  // The longest name a stream holds (each pair of letters takes one unit) is taken.
  std::unique_ptr<View> view;
  ASSERT_EQ(
      View::Prepare(database, "CREATE TABLE `" + long_name.substr(1) + "` (" + key + ")", &view),
      kSuccess);
  EXPECT_EQ(view->Execute(nullptr), kSuccess);
  EXPECT_EQ(database->Commit(), kSuccess);
}

TEST(SchemaConformanceTest, KeysLeadAddedColumnsStayAndTemporaryThingsGoAsMsitoolsReadsThem) {
  if (const auto missing = kb::test::MissingTools({"msiinfo"})) GTEST_SKIP() << *missing;
  kb::test::TempDir folder;
  const std::string path = (folder.path() / "schema.msi").string();
  {
    ScopedHandle db = OpenDatabase(path, MSIDBOPEN_CREATE);
    // The installer brings the keys to the front, each swapping places with the column there.
    ASSERT_EQ(RunSql(db.get(),
                     "CREATE TABLE `Late` (`V` CHAR(10), `N` SHORT, `K` CHAR(10) NOT NULL "
                     "PRIMARY KEY `K`)"),
              ERROR_SUCCESS);
    ASSERT_EQ(RunSql(db.get(), "INSERT INTO `Late` (`V`, `N`, `K`) VALUES ('value', 3, 'key')"),
              ERROR_SUCCESS);
    ASSERT_EQ(MsiDatabaseCommit(db.get()), ERROR_SUCCESS);
  }
  {
    ScopedHandle db = OpenDatabase(path, MSIDBOPEN_TRANSACT);
    ASSERT_EQ(RunSql(db.get(), "ALTER TABLE `Late` ADD `Extra` LONG"), ERROR_SUCCESS);
    ASSERT_EQ(RunSql(db.get(), "ALTER TABLE `Late` ADD `Tmp` CHAR(5) TEMPORARY HOLD"),
              ERROR_SUCCESS);
    ASSERT_EQ(RunSql(db.get(), "UPDATE `Late` SET `Extra` = 70000, `Tmp` = 'gone'"), ERROR_SUCCESS);
    EXPECT_EQ(Rows(db.get(), "SELECT * FROM `Late`"),
              (Table{{"key", "3", "value", "70000", "gone"}}));
    ASSERT_EQ(RunSql(db.get(),
                     "CREATE TABLE `Held` (`A` CHAR(5) NOT NULL TEMPORARY PRIMARY KEY `A`) HOLD"),
              ERROR_SUCCESS);
    ASSERT_EQ(RunSql(db.get(), "INSERT INTO `Held` (`A`) VALUES ('h')"), ERROR_SUCCESS);
    ASSERT_EQ(RunSql(db.get(),
                     "CREATE TABLE `Rows` (`K` CHAR(5) NOT NULL, `N` SHORT "
                     "PRIMARY KEY `K`)"),
              ERROR_SUCCESS);
    ASSERT_EQ(RunSql(db.get(), "INSERT INTO `Rows` (`K`, `N`) VALUES ('a', 1) TEMPORARY"),
              ERROR_SUCCESS);
    ASSERT_EQ(RunSql(db.get(), "INSERT INTO `Rows` (`K`, `N`) VALUES ('b', 2)"), ERROR_SUCCESS);
    ScopedHandle view;
    ASSERT_EQ(MsiDatabaseOpenViewA(db.get(), "SELECT `K`, `N` FROM `Rows` WHERE `K` = 'b'",
                                   view.Receive()),
              ERROR_SUCCESS);
    ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
    // A row the view's condition leaves out can still be added through it.
    EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_INSERT_TEMPORARY, TextRecord({"d", "4"}).get()),
              ERROR_SUCCESS);
    EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_INSERT, TextRecord({"e", "5"}).get()),
              ERROR_SUCCESS);
    ASSERT_EQ(RunSql(db.get(), "INSERT INTO `Rows` (`K`, `N`) VALUES ('c', 3)"), ERROR_SUCCESS);
    EXPECT_EQ(Rows(db.get(), "SELECT `K` FROM `Rows`"), (Table{{"a"}, {"b"}, {"d"}, {"e"}, {"c"}}));
    EXPECT_EQ(Rows(db.get(), "SELECT `Name` FROM `_Tables`"),
              (Table{{"Late"}, {"Held"}, {"Rows"}}));
    ASSERT_EQ(MsiDatabaseCommit(db.get()), ERROR_SUCCESS);
  }
  const std::string quoted = "'" + path + "'";
  EXPECT_EQ(Msiinfo("tables " + quoted), "_SummaryInformation\n_ForceCodepage\nLate\nRows\n");
  EXPECT_EQ(Msiinfo("export " + quoted + " Late"),
            "K\tN\tV\tExtra\r\ns10\tI2\tS10\tI4\r\nLate\tK\r\nkey\t3\tvalue\t70000\r\n");
  // Every persistent row is saved, those inserted before it as TEMPORARY or not alike.
  EXPECT_EQ(Msiinfo("export " + quoted + " Rows"),
            "K\tN\r\ns5\tI2\r\nRows\tK\r\nb\t2\r\ne\t5\r\nc\t3\r\n");
}

TEST(SchemaConformanceTest, TemporaryColumnsLiveWhileTheTableIsHeld) {
  kb::test::TempDir folder;
  ScopedHandle db = OpenDatabase((folder.path() / "held.msi").string(), MSIDBOPEN_CREATE);
  ASSERT_EQ(RunSql(db.get(), "CREATE TABLE `T` (`K` SHORT NOT NULL PRIMARY KEY `K`)"),
            ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db.get(), "ALTER TABLE `T` ADD `Tmp` CHAR(5) TEMPORARY HOLD"), ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db.get(), "ALTER TABLE `T` HOLD"), ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db.get(), "INSERT INTO `T` (`K`, `Tmp`) VALUES (1, 'x')"), ERROR_SUCCESS);
  ScopedHandle early;  // executed before the column goes: it reads what it found
  ASSERT_EQ(MsiDatabaseOpenViewA(db.get(), "SELECT `K`, `Tmp` FROM `T`", early.Receive()),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(early.get(), 0), ERROR_SUCCESS);

  ASSERT_EQ(RunSql(db.get(), "ALTER TABLE `T` FREE"), ERROR_SUCCESS);
  EXPECT_EQ(Rows(db.get(), "SELECT `Tmp` FROM `T`"), (Table{{"x"}})) << "one hold is left";
  ASSERT_EQ(RunSql(db.get(), "ALTER TABLE `T` FREE"), ERROR_SUCCESS);
  EXPECT_EQ(RunSql(db.get(), "SELECT `Tmp` FROM `T`"), ERROR_BAD_QUERY_SYNTAX);
  EXPECT_EQ(Rows(db.get(), "SELECT * FROM `T`"), (Table{{"1"}}));
  EXPECT_EQ(MsiDatabaseIsTablePersistentA(db.get(), "T"), MSICONDITION_TRUE);

  ScopedHandle row;
  ASSERT_EQ(MsiViewFetch(early.get(), row.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(FieldText(row.get(), 2), "x");
  EXPECT_EQ(MsiViewModify(early.get(), MSIMODIFY_UPDATE, row.get()), ERROR_FUNCTION_FAILED);
  EXPECT_EQ(MsiViewExecute(early.get(), 0), ERROR_FUNCTION_FAILED) << "its column is gone";

  // Added again, the column starts empty: the values went with it.
  ASSERT_EQ(RunSql(db.get(), "ALTER TABLE `T` ADD `Tmp` CHAR(5) TEMPORARY HOLD"), ERROR_SUCCESS);
  EXPECT_EQ(Rows(db.get(), "SELECT `K`, `Tmp` FROM `T`"), (Table{{"1", ""}}));
  EXPECT_EQ(RunSql(db.get(), "ALTER TABLE `T` ADD `Tmp` SHORT"), ERROR_BAD_QUERY_SYNTAX);
  EXPECT_EQ(RunSql(db.get(), "ALTER TABLE `T` ADD `After` SHORT"), ERROR_BAD_QUERY_SYNTAX)
      << "a persistent column cannot follow a temporary one";
  EXPECT_EQ(RunSql(db.get(), "ALTER TABLE `Missing` HOLD"), ERROR_BAD_QUERY_SYNTAX);
  // A hold on `_Streams` or `_Storages` is documented (their changes wait for commit anyway).
  EXPECT_EQ(RunSql(db.get(), "ALTER TABLE `_Streams` HOLD"), ERROR_SUCCESS);
  EXPECT_EQ(RunSql(db.get(), "ALTER TABLE `_Storages` FREE"), ERROR_SUCCESS);

  // A table of temporary columns lasts while held, and is listed meanwhile.
  ASSERT_EQ(RunSql(db.get(), "CREATE TABLE `Temp` (`A` SHORT TEMPORARY PRIMARY KEY `A`) HOLD"),
            ERROR_SUCCESS);
  EXPECT_EQ(MsiDatabaseIsTablePersistentA(db.get(), "Temp"), MSICONDITION_FALSE);
  EXPECT_EQ(Rows(db.get(), "SELECT `Name` FROM `_Tables`"), (Table{{"T"}, {"Temp"}}));
  ASSERT_EQ(RunSql(db.get(), "ALTER TABLE `Temp` FREE"), ERROR_SUCCESS);
  EXPECT_EQ(MsiDatabaseIsTablePersistentA(db.get(), "Temp"), MSICONDITION_NONE);
  EXPECT_EQ(Rows(db.get(), "SELECT `Name` FROM `_Tables`"), (Table{{"T"}}));
  EXPECT_EQ(RunSql(db.get(), "CREATE TABLE `Gone` (`A` SHORT TEMPORARY PRIMARY KEY `A`)"),
            ERROR_SUCCESS);
  EXPECT_EQ(MsiDatabaseIsTablePersistentA(db.get(), "Gone"), MSICONDITION_NONE)
      << "nothing held it";
  EXPECT_EQ(MsiDatabaseIsTablePersistentA(0, "T"), MSICONDITION_ERROR);
  EXPECT_EQ(MsiDatabaseIsTablePersistentA(db.get(), nullptr), MSICONDITION_ERROR);
}

// The faults MsiViewGetErrorA reports, one call each, until none is left.
std::vector<std::pair<int, std::string>> Faults(MSIHANDLE view) {
  std::vector<std::pair<int, std::string>> faults;
  for (;;) {
    char column[16] = "";
    DWORD size = sizeof column;
    const MSIDBERROR error = MsiViewGetErrorA(view, column, &size);
    if (error == MSIDBERROR_NOERROR || faults.size() > 8) return faults;
    faults.emplace_back(error, column);
  }
}

TEST(SchemaConformanceTest, ValidatingModifyNamesEachFaultyColumn) {
  kb::test::TempDir folder;
  ScopedHandle db = OpenDatabase((folder.path() / "validate.msi").string(), MSIDBOPEN_CREATE);
  ASSERT_EQ(RunSql(db.get(),
                   "CREATE TABLE `T` (`K` CHAR(4) NOT NULL, `V` CHAR(3) NOT NULL, "
                   "`N` SHORT PRIMARY KEY `K`)"),
            ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db.get(), "INSERT INTO `T` (`K`, `V`) VALUES ('a', 'v')"), ERROR_SUCCESS);
  ScopedHandle view;
  ASSERT_EQ(MsiDatabaseOpenViewA(db.get(), "SELECT `K`, `V` FROM `T`", view.Receive()),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);

  const ScopedHandle taken = TextRecord({"a", "four"});
  EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_VALIDATE_NEW, taken.get()), ERROR_INVALID_DATA);
  char small[1] = "";
  DWORD size = sizeof small;
  EXPECT_EQ(MsiViewGetErrorA(view.get(), small, &size), MSIDBERROR_MOREDATA);
  EXPECT_EQ(size, 1u) << "the length of \"V\", which stays to be read";
  EXPECT_EQ(Faults(view.get()),
            (std::vector<std::pair<int, std::string>>{{MSIDBERROR_STRINGOVERFLOW, "V"},
                                                      {MSIDBERROR_DUPLICATEKEY, "K"}}));
  EXPECT_EQ(Rows(db.get(), "SELECT `K`, `V` FROM `T`"), (Table{{"a", "v"}})) << "nothing changed";

  const ScopedHandle partial = TextRecord({"", "ok"});
  EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_VALIDATE_FIELD, partial.get()), ERROR_SUCCESS);
  EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_VALIDATE, partial.get()), ERROR_INVALID_DATA);
  EXPECT_EQ(Faults(view.get()),
            (std::vector<std::pair<int, std::string>>{{MSIDBERROR_REQUIRED, "K"}}));
  EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_VALIDATE_DELETE, partial.get()), ERROR_SUCCESS);

  // Only the validating modes record faults (documented): a refused insert leaves none.
  EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_VALIDATE, partial.get()), ERROR_INVALID_DATA);
  EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_INSERT, TextRecord({"a", "v"}).get()),
            ERROR_FUNCTION_FAILED);
  EXPECT_TRUE(Faults(view.get()).empty());
  EXPECT_EQ(MsiViewGetErrorA(0, small, &size), MSIDBERROR_INVALIDARG);
  EXPECT_EQ(MsiViewGetErrorA(view.get(), small, nullptr), MSIDBERROR_INVALIDARG);
}

TEST(SchemaConformanceTest, ParsesTheAlterTableForms) {
  const auto added = ParseSql("ALTER TABLE `T` ADD `C` CHAR(5) NOT NULL TEMPORARY HOLD");
  ASSERT_TRUE(added);
  const auto& alter = std::get<SqlAlter>(added->statement);
  EXPECT_EQ(alter.action, SqlAlter::Action::kAdd);
  EXPECT_EQ(alter.column.type.ToArchive(), "g5");
  EXPECT_TRUE(alter.hold);
  EXPECT_EQ(std::get<SqlAlter>(ParseSql("alter table T free")->statement).action,
            SqlAlter::Action::kFree);
  for (const char* sql : {"ALTER TABLE `T`", "ALTER `T` HOLD", "ALTER TABLE `T` ADD `C`",
                          "ALTER TABLE `T` ADD `C` SHORT HOLD FREE", "ALTER TABLE `T` DROP `C`",
                          "CREATE TABLE `T` (`A` SHORT, `B` SHORT PRIMARY KEY `A`, `A`)"}) {
    EXPECT_FALSE(ParseSql(sql)) << sql;
  }
}

}  // namespace
}  // namespace kb::msi::test

// The engine through its C interface: SQL, records, streams, code pages and transactions.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "msi/api/handle_table.h"
#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "platform/unique_fd.h"
#include "sql_helpers.h"
#include "test_support/temp_dir.h"
#include "test_support/text_file.h"

namespace kb::msi::test {
namespace {

using Rows_ = std::vector<std::vector<std::string>>;

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (dir_.path() / "test.msi").string();
    ASSERT_EQ(MsiOpenDatabaseA(path_.c_str(), MSIDBOPEN_CREATE, db_.Receive()), ERROR_SUCCESS);
    ASSERT_EQ(RunSql(db_.get(),
                     "CREATE TABLE `Property` (`Property` CHAR(72) NOT NULL, `Value` LONGCHAR NOT "
                     "NULL LOCALIZABLE PRIMARY KEY `Property`)"),
              ERROR_SUCCESS);
  }

  void Reopen(LPCSTR mode) {
    db_.Reset();
    ASSERT_EQ(MsiOpenDatabaseA(path_.c_str(), mode, db_.Receive()), ERROR_SUCCESS);
  }

  // The row `name` of `_Streams` fetched through `view`, its `Data` field 2.
  ScopedHandle FetchStreamRow(const std::string& name, ScopedHandle& view) {
    const std::string query = "select `Name`,`Data` from `_Streams` where `Name`='" + name + "'";
    ScopedHandle record;
    EXPECT_EQ(MsiDatabaseOpenViewA(db_.get(), query.c_str(), view.Receive()), ERROR_SUCCESS);
    EXPECT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
    EXPECT_EQ(MsiViewFetch(view.get(), record.Receive()), ERROR_SUCCESS);
    return record;
  }

  // Writes `record` back through `view`, commits and reopens the database read-only.
  void UpdateCommitAndReopen(ScopedHandle& view, ScopedHandle& record) {
    ASSERT_EQ(MsiViewModify(view.get(), MSIMODIFY_UPDATE, record.get()), ERROR_SUCCESS);
    view.Reset();
    record.Reset();
    ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
    Reopen(MSIDBOPEN_READONLY);
  }

  kb::test::TempDir dir_;
  std::string path_;
  ScopedHandle db_;
};

TEST_F(DatabaseTest, StatementsChangeRowsThatSurviveACommit) {
  EXPECT_EQ(RunSql(db_.get(), "INSERT INTO `Property` (`Property`,`Value`) VALUES ('A','1')"),
            ERROR_SUCCESS);
  EXPECT_EQ(RunSql(db_.get(), "insert into Property (Property, Value) values ('B', '2')"),
            ERROR_SUCCESS);
  EXPECT_EQ(RunSql(db_.get(), "INSERT INTO `Property` (`Property`,`Value`) VALUES ('C','3')"),
            ERROR_SUCCESS);
  EXPECT_EQ(RunSql(db_.get(), "UPDATE `Property` SET `Value`='two' WHERE `Property`='B'"),
            ERROR_SUCCESS);
  EXPECT_EQ(RunSql(db_.get(), "DELETE FROM `Property` WHERE `Value`='3' OR `Property`='none'"),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  Reopen(MSIDBOPEN_READONLY);
  EXPECT_EQ(Rows(db_.get(), "SELECT * FROM `Property`"), (Rows_{{"A", "1"}, {"B", "two"}}));
  EXPECT_EQ(Rows(db_.get(), "SELECT `Value` FROM `Property` WHERE `Property` <> 'A'"),
            (Rows_{{"two"}}));
  EXPECT_EQ(Rows(db_.get(), "SELECT `Name` FROM `_Tables`"), (Rows_{{"Property"}}));
  EXPECT_EQ(RunSql(db_.get(), "INSERT INTO `Property` (`Property`,`Value`) VALUES ('D','4')"),
            ERROR_FUNCTION_FAILED);  // read-only
}

TEST_F(DatabaseTest, KeepsRowsInTheInstallersStoredKeyOrder) {
  ASSERT_EQ(RunSql(db_.get(), "CREATE TABLE `N` (`K` SHORT NOT NULL, `V` LONG PRIMARY KEY `K`)"),
            ERROR_SUCCESS);
  for (const char* key : {"10", "-5", "3"}) {
    EXPECT_EQ(RunSql(db_.get(), std::string("INSERT INTO `N` (`K`,`V`) VALUES (") + key + ", " +
                                    key + "00000)"),
              ERROR_SUCCESS);
  }
  EXPECT_EQ(Rows(db_.get(), "SELECT * FROM `N`"),
            (Rows_{{"-5", "-500000"}, {"3", "300000"}, {"10", "1000000"}}));
  EXPECT_EQ(Rows(db_.get(), "SELECT `K` FROM `N` WHERE `V` >= 300000 AND `K` < 10"),
            (Rows_{{"3"}}));
  // String keys sort by their place in the string pool, not alphabetically; so does ORDER BY.
  for (const char* key : {"zeta", "alpha"}) {
    RunSql(db_.get(),
           std::string("INSERT INTO `Property` (`Property`,`Value`) VALUES ('") + key + "','v')");
  }
  EXPECT_EQ(Rows(db_.get(), "SELECT `Property` FROM `Property`"), (Rows_{{"zeta"}, {"alpha"}}));
  EXPECT_EQ(Rows(db_.get(), "SELECT `Property` FROM `Property` ORDER BY `Property`"),
            (Rows_{{"zeta"}, {"alpha"}}));
}

TEST_F(DatabaseTest, RefusesBadStatementsWithTheInstallersCodes) {
  ScopedHandle view;
  EXPECT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT * FROM `Missing`", view.Receive()),
            ERROR_BAD_QUERY_SYNTAX);
  EXPECT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT `Nope` FROM `Property`", view.Receive()),
            ERROR_BAD_QUERY_SYNTAX);
  EXPECT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELEC * FROM `Property`", view.Receive()),
            ERROR_BAD_QUERY_SYNTAX);
  EXPECT_EQ(RunSql(db_.get(), "CREATE TABLE `Property` (`A` SHORT PRIMARY KEY `A`)"),
            ERROR_BAD_QUERY_SYNTAX);
  EXPECT_EQ(RunSql(db_.get(), "INSERT INTO `Property` (`Property`,`Value`) VALUES ('A','1')"),
            ERROR_SUCCESS);
  EXPECT_EQ(RunSql(db_.get(), "INSERT INTO `Property` (`Property`,`Value`) VALUES ('A','2')"),
            ERROR_FUNCTION_FAILED);
  ASSERT_EQ(RunSql(db_.get(), "CREATE TABLE `N` (`K` SHORT NOT NULL PRIMARY KEY `K`)"),
            ERROR_SUCCESS);
  EXPECT_EQ(RunSql(db_.get(), "INSERT INTO `N` (`K`) VALUES ('text')"), ERROR_FUNCTION_FAILED);
  EXPECT_EQ(RunSql(db_.get(), "INSERT INTO `N` (`K`) VALUES (40000)"), ERROR_FUNCTION_FAILED);
  EXPECT_EQ(RunSql(db_.get(), "INSERT INTO `N` (`K`) VALUES (NULL)"), ERROR_FUNCTION_FAILED);
  EXPECT_EQ(RunSql(db_.get(), "UPDATE `Property` SET `Property`='B'"), ERROR_FUNCTION_FAILED);
  EXPECT_EQ(RunSql(db_.get(), "DROP TABLE `N`"), ERROR_SUCCESS);
  EXPECT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT * FROM `N`", view.Receive()),
            ERROR_BAD_QUERY_SYNTAX);
  EXPECT_EQ(Rows(db_.get(), "SELECT * FROM `Property`"), (Rows_{{"A", "1"}}));
}

TEST_F(DatabaseTest, MarkersTakeAnyTextExactly) {
  const std::string tricky = "Bob's \"Tool\"\t`x` ? ' OR 1=1";
  ScopedHandle values = TextRecord({"Name", tricky});
  EXPECT_EQ(
      RunSql(db_.get(), "INSERT INTO `Property` (`Property`,`Value`) VALUES (?, ?)", values.get()),
      ERROR_SUCCESS);
  ScopedHandle key = TextRecord({"Name"});
  ScopedHandle view;
  ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT `Value` FROM `Property` WHERE `Property`=?",
                                 view.Receive()),
            ERROR_SUCCESS);
  EXPECT_EQ(MsiViewExecute(view.get(), 0), ERROR_FUNCTION_FAILED);  // a marker needs a value
  ASSERT_EQ(MsiViewExecute(view.get(), key.get()), ERROR_SUCCESS);
  ScopedHandle record;
  ASSERT_EQ(MsiViewFetch(view.get(), record.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(FieldText(record.get(), 1), tricky);
  EXPECT_EQ(MsiViewFetch(view.get(), record.Receive()), ERROR_NO_MORE_ITEMS);
}

TEST_F(DatabaseTest, TransactedDatabaseWritesNothingBeforeCommit) {
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  Reopen(MSIDBOPEN_TRANSACT);
  const std::string before = kb::test::ReadText(path_);
  ASSERT_EQ(RunSql(db_.get(), "INSERT INTO `Property` (`Property`,`Value`) VALUES ('A','1')"),
            ERROR_SUCCESS);
  EXPECT_EQ(Rows(db_.get(), "SELECT `Value` FROM `Property`"), (Rows_{{"1"}}));
  EXPECT_EQ(kb::test::ReadText(path_), before);
  Reopen(MSIDBOPEN_TRANSACT);  // closed without commit
  EXPECT_EQ(kb::test::ReadText(path_), before);
  EXPECT_TRUE(Rows(db_.get(), "SELECT * FROM `Property`").empty());
  ASSERT_EQ(RunSql(db_.get(), "INSERT INTO `Property` (`Property`,`Value`) VALUES ('A','1')"),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  EXPECT_NE(kb::test::ReadText(path_), before);
}

// The rest of a stream field from its read position, in pieces.
std::string ReadStreamField(MSIHANDLE record, UINT field) {
  std::string read;
  char piece[4096];
  for (DWORD size = sizeof piece; size == sizeof piece;) {
    if (MsiRecordReadStream(record, field, piece, &size) != ERROR_SUCCESS) return "(unread)";
    read.append(piece, size);
  }
  return read;
}

TEST_F(DatabaseTest, StreamRowGetsItsDataByUpdatingTheFetchedRecord) {
  const std::filesystem::path file = dir_.path() / "payload.bin";
  std::string payload(200000, '\0');
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7 % 251);
  std::ofstream(file, std::ios::binary) << payload;

  ASSERT_EQ(RunSql(db_.get(), "insert into `_Streams` (`Name`) values('Instal01.cab')"),
            ERROR_SUCCESS);
  ScopedHandle view;
  ScopedHandle record = FetchStreamRow("Instal01.cab", view);
  EXPECT_EQ(MsiRecordSetStreamA(record.get(), 2, (dir_.path() / "missing").c_str()),
            ERROR_BAD_PATHNAME);
  ASSERT_EQ(MsiRecordSetStreamA(record.get(), 2, file.c_str()), ERROR_SUCCESS);
  UpdateCommitAndReopen(view, record);

  record = FetchStreamRow("Instal01.cab", view);
  DWORD left = 0;
  ASSERT_EQ(MsiRecordReadStream(record.get(), 2, nullptr, &left), ERROR_SUCCESS);
  EXPECT_EQ(left, payload.size());
  EXPECT_EQ(ReadStreamField(record.get(), 2), payload);
  DWORD text_size = 10;
  char text[10];
  EXPECT_EQ(MsiRecordGetStringA(record.get(), 2, text, &text_size), ERROR_INVALID_DATATYPE);
}

// A cabinet whose data blocks lie apart: its file, then the start of the data's file, read back
// across the joint; the data's file must hold the bytes asked for.
TEST_F(DatabaseTest, JoinedStreamIsTheFileThenTheStartOfTheRest) {
  const std::string head(5000, 'h');
  std::string rest(70001, '\0');
  for (std::size_t i = 0; i < rest.size(); ++i) rest[i] = static_cast<char>(i * 13 % 251);
  std::ofstream(dir_.path() / "head.cab", std::ios::binary) << head;
  std::ofstream(dir_.path() / "rest.bin", std::ios::binary) << rest;
  const platform::UniqueFd rest_file(::open((dir_.path() / "rest.bin").c_str(), O_RDONLY));
  ASSERT_EQ(RunSql(db_.get(), "insert into `_Streams` (`Name`) values('Joined')"), ERROR_SUCCESS);
  ScopedHandle view;
  ScopedHandle record = FetchStreamRow("Joined", view);
  const std::string head_path = (dir_.path() / "head.cab").string();
  EXPECT_EQ(KbRecordSetJoinedStreamA(record.get(), 2, head_path.c_str(), rest_file.get(),
                                     rest.size() + 1),
            ERROR_BAD_PATHNAME);
  ASSERT_EQ(KbRecordSetJoinedStreamA(record.get(), 2, head_path.c_str(), rest_file.get(),
                                     rest.size() - 1),
            ERROR_SUCCESS);
  UpdateCommitAndReopen(view, record);
  record = FetchStreamRow("Joined", view);
  EXPECT_EQ(ReadStreamField(record.get(), 2), head + rest.substr(0, rest.size() - 1));
}

TEST_F(DatabaseTest, ObjectColumnsAreStreamsNamedAfterTheRowKeys) {
  const std::filesystem::path file = dir_.path() / "banner.jpg";
  std::ofstream(file, std::ios::binary) << "JPEGDATA";
  ASSERT_EQ(RunSql(db_.get(),
                   "CREATE TABLE `Binary` (`Name` CHAR(72) NOT NULL, `Data` OBJECT NOT "
                   "NULL PRIMARY KEY `Name`)"),
            ERROR_SUCCESS);
  ScopedHandle view;
  ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT `Name`,`Data` FROM `Binary`", view.Receive()),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  ScopedHandle record(MsiCreateRecord(2));
  MsiRecordSetStringA(record.get(), 1, "BannerBitmap");
  ASSERT_EQ(MsiRecordSetStreamA(record.get(), 2, file.c_str()), ERROR_SUCCESS);
  ASSERT_EQ(MsiViewModify(view.get(), MSIMODIFY_INSERT, record.get()), ERROR_SUCCESS);
  EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_INSERT, record.get()), ERROR_FUNCTION_FAILED);
  EXPECT_EQ(Rows(db_.get(), "SELECT `Name` FROM `_Streams`"), (Rows_{{"Binary.BannerBitmap"}}));
  EXPECT_EQ(RunSql(db_.get(), "DELETE FROM `Binary`"), ERROR_SUCCESS);
  EXPECT_TRUE(Rows(db_.get(), "SELECT `Name` FROM `_Streams`").empty());
}

TEST_F(DatabaseTest, CodePageDecidesWhichCharactersFit) {
  ScopedHandle values = TextRecord({"W", "Caf\u00e9 \u20ac"});
  EXPECT_EQ(
      RunSql(db_.get(), "INSERT INTO `Property` (`Property`,`Value`) VALUES (?,?)", values.get()),
      ERROR_SUCCESS);  // a neutral database reads and writes as Windows-1252
  ScopedHandle japanese = TextRecord({"J", "\u65e5\u672c"});
  EXPECT_EQ(
      RunSql(db_.get(), "INSERT INTO `Property` (`Property`,`Value`) VALUES (?,?)", japanese.get()),
      ERROR_FUNCTION_FAILED);
  EXPECT_EQ(Rows(db_.get(), "SELECT `Value` FROM `Property`"), (Rows_{{"Caf\u00e9 \u20ac"}}));

  const std::filesystem::path archive = dir_.path() / "_ForceCodepage.idt";
  std::ofstream(archive, std::ios::binary) << "\r\n\r\n65001\t_ForceCodepage\r\n";
  ASSERT_EQ(MsiDatabaseImportA(db_.get(), dir_.path().c_str(), "_ForceCodepage.idt"),
            ERROR_SUCCESS);
  EXPECT_EQ(
      RunSql(db_.get(), "INSERT INTO `Property` (`Property`,`Value`) VALUES (?,?)", japanese.get()),
      ERROR_SUCCESS);
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  Reopen(MSIDBOPEN_READONLY);
  EXPECT_EQ(Rows(db_.get(), "SELECT `Value` FROM `Property` WHERE `Property`='J'"),
            (Rows_{{"\u65e5\u672c"}}));
}

TEST_F(DatabaseTest, HandlesAndRecordsBehaveAsDocumented) {
  EXPECT_EQ(MsiCloseHandle(db_.get() + 1000), ERROR_INVALID_HANDLE);
  ScopedHandle record(MsiCreateRecord(3));
  EXPECT_EQ(MsiRecordGetFieldCount(record.get()), 3u);
  EXPECT_TRUE(MsiRecordIsNull(record.get(), 1));
  EXPECT_EQ(MsiRecordSetStringA(record.get(), 1, "hello"), ERROR_SUCCESS);
  EXPECT_EQ(MsiRecordSetStringA(record.get(), 4, "x"), ERROR_INVALID_FIELD);
  EXPECT_EQ(MsiRecordSetInteger(record.get(), 2, -42), ERROR_SUCCESS);
  EXPECT_EQ(MsiRecordGetInteger(record.get(), 2), -42);
  EXPECT_EQ(MsiRecordGetInteger(record.get(), 1), MSI_NULL_INTEGER);
  EXPECT_EQ(FieldText(record.get(), 2), "-42");
  MsiRecordSetStringA(record.get(), 3, "");
  EXPECT_TRUE(MsiRecordIsNull(record.get(), 3));  // empty text is null

  char buffer[4];
  DWORD size = sizeof buffer;
  EXPECT_EQ(MsiRecordGetStringA(record.get(), 1, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 5u);
  EXPECT_STREQ(buffer, "hel");

  const MSIHANDLE closed = record.get();
  record.Reset();
  EXPECT_EQ(MsiRecordSetStringA(closed, 1, "x"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(MsiCloseHandle(closed), ERROR_INVALID_HANDLE);
  EXPECT_EQ(MsiViewExecute(db_.get(), 0), ERROR_INVALID_HANDLE);  // a database is no view
  ScopedHandle keys;
  EXPECT_EQ(MsiDatabaseGetPrimaryKeysA(db_.get(), "Property", keys.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(FieldText(keys.get(), 0), "Property");
  EXPECT_EQ(FieldText(keys.get(), 1), "Property");
  EXPECT_EQ(MsiDatabaseGetPrimaryKeysA(db_.get(), "Nope", keys.Receive()), ERROR_INVALID_TABLE);
  ScopedHandle view;
  ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT * FROM `Property`", view.Receive()),
            ERROR_SUCCESS);
  ScopedHandle types;
  ASSERT_EQ(MsiViewGetColumnInfo(view.get(), MSICOLINFO_TYPES, types.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(FieldText(types.get(), 1), "s72");
  EXPECT_EQ(FieldText(types.get(), 2), "l0");
}

// Handles are never issued twice: after the last number the table refuses rather than count on
// from 0 and hand out numbers that callers may still hold.
TEST(HandleTableTest, RefusesOnceEveryNumberWasIssued) {
  HandleTable table(UINT32_MAX - 1);
  const auto record = std::make_shared<Record>(1);
  EXPECT_EQ(table.Add(record), UINT32_MAX);
  EXPECT_EQ(table.Add(record), 0u);
  EXPECT_EQ(table.open_count(), 1u);
  EXPECT_TRUE(table.Close(UINT32_MAX));
  EXPECT_EQ(table.Add(record), 0u);
  EXPECT_EQ(table.open_count(), 0u);
}

TEST_F(DatabaseTest, ModifyModesFollowTheFetchedRow) {
  RunSql(db_.get(), "INSERT INTO `Property` (`Property`,`Value`) VALUES ('A','1')");
  ScopedHandle view;
  ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT `Value` FROM `Property` WHERE `Property`='A'",
                                 view.Receive()),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  ScopedHandle record;
  ASSERT_EQ(MsiViewFetch(view.get(), record.Receive()), ERROR_SUCCESS);
  MsiRecordSetStringA(record.get(), 1, "changed");
  EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_UPDATE, record.get()), ERROR_SUCCESS);
  ScopedHandle stranger = TextRecord({"x"});
  EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_UPDATE, stranger.get()), ERROR_FUNCTION_FAILED);
  EXPECT_EQ(Rows(db_.get(), "SELECT * FROM `Property`"), (Rows_{{"A", "changed"}}));

  ScopedHandle all;
  ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT * FROM `Property`", all.Receive()),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(all.get(), 0), ERROR_SUCCESS);
  ScopedHandle assigned = TextRecord({"B", "2"});
  EXPECT_EQ(MsiViewModify(all.get(), MSIMODIFY_ASSIGN, assigned.get()), ERROR_SUCCESS);
  MsiRecordSetStringA(assigned.get(), 2, "3");
  EXPECT_EQ(MsiViewModify(all.get(), MSIMODIFY_ASSIGN, assigned.get()), ERROR_SUCCESS);
  EXPECT_EQ(MsiViewModify(all.get(), MSIMODIFY_MERGE, assigned.get()), ERROR_SUCCESS);
  MsiRecordSetStringA(assigned.get(), 2, "4");
  EXPECT_EQ(MsiViewModify(all.get(), MSIMODIFY_MERGE, assigned.get()), ERROR_FUNCTION_FAILED);
  ASSERT_EQ(MsiViewFetch(all.get(), record.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(MsiViewModify(all.get(), MSIMODIFY_DELETE, record.get()), ERROR_SUCCESS);
  EXPECT_EQ(Rows(db_.get(), "SELECT * FROM `Property`"), (Rows_{{"B", "3"}}));
}

TEST_F(DatabaseTest, SummaryInformationPersistsWithTheDatabase) {
  ScopedHandle summary;
  ASSERT_EQ(MsiGetSummaryInformationA(db_.get(), nullptr, 17, summary.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(MsiSummaryInfoSetPropertyA(summary.get(), PID_TITLE, VT_LPSTR, 0, nullptr, "T\u00e9"),
            ERROR_SUCCESS);
  EXPECT_EQ(MsiSummaryInfoSetPropertyA(summary.get(), PID_PAGECOUNT, VT_I4, 200, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(MsiSummaryInfoSetPropertyA(summary.get(), PID_TITLE, VT_I4, 1, nullptr, nullptr),
            ERROR_DATATYPE_MISMATCH);
  EXPECT_EQ(MsiSummaryInfoSetPropertyA(summary.get(), PID_AUTHOR, VT_LPSTR, 0, nullptr, "\u65e5"),
            ERROR_FUNCTION_FAILED);  // no place for it in Windows-1252
  ASSERT_EQ(MsiSummaryInfoPersist(summary.get()), ERROR_SUCCESS);
  summary.Reset();
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  Reopen(MSIDBOPEN_READONLY);
  ASSERT_EQ(MsiGetSummaryInformationA(db_.get(), nullptr, 0, summary.Receive()), ERROR_SUCCESS);
  UINT type = 0;
  INT number = 0;
  char text[16];
  DWORD size = sizeof text;
  ASSERT_EQ(
      MsiSummaryInfoGetPropertyA(summary.get(), PID_TITLE, &type, &number, nullptr, text, &size),
      ERROR_SUCCESS);
  EXPECT_EQ(type, VT_LPSTR);
  EXPECT_EQ(std::string(text, size), "T\u00e9");
  ASSERT_EQ(MsiSummaryInfoGetPropertyA(summary.get(), PID_PAGECOUNT, &type, &number, nullptr,
                                       nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(type, VT_I4);
  EXPECT_EQ(number, 200);
  EXPECT_EQ(MsiSummaryInfoSetPropertyA(summary.get(), PID_TITLE, VT_LPSTR, 0, nullptr, "x"),
            ERROR_FUNCTION_FAILED);  // opened for reading only
}

}  // namespace
}  // namespace kb::msi::test

namespace kb::msi::test {
namespace {

// A stream column as primary key names its streams by the key, which is the stream itself: the
// row must still read (the fuzzer found endless recursion here).
TEST_F(DatabaseTest, ObjectKeyColumnReadsWithoutRecursion) {
  ASSERT_EQ(RunSql(db_.get(), "CREATE TABLE `Odd` (`Data` OBJECT, `N` SHORT PRIMARY KEY `Data`)"),
            ERROR_SUCCESS);
  const std::string file = (dir_.path() / "data.bin").string();
  std::ofstream(file) << "bytes";
  ScopedHandle record(MsiCreateRecord(1));
  ASSERT_EQ(MsiRecordSetStreamA(record.get(), 1, file.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(RunSql(db_.get(), "INSERT INTO `Odd` (`Data`, `N`) VALUES (?, 1)", record.get()),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  Reopen(MSIDBOPEN_READONLY);
  EXPECT_EQ(Rows(db_.get(), "SELECT `N` FROM `Odd`"), (Rows_{{"1"}}));
}

}  // namespace
}  // namespace kb::msi::test

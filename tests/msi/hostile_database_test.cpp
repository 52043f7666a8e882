// Databases damaged by accident or on purpose, and statements that misuse the interface: each
// must end in an error code, never in a crash, a wrong answer or a corrupted file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "crafted_file.h"
#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "msi/db/stream_name.h"
#include "msi/storage/compound_file.h"
#include "sql_helpers.h"
#include "test_support/temp_dir.h"
#include "test_support/text_file.h"

namespace kb::msi::test {
namespace {

using Rows_ = std::vector<std::vector<std::string>>;

class HostileDatabaseTest : public ::testing::Test {
 protected:
  // A committed database with one table of two rows.
  void SetUp() override {
    path_ = (dir_.path() / "test.msi").string();
    ScopedHandle db;
    ASSERT_EQ(MsiOpenDatabaseA(path_.c_str(), MSIDBOPEN_CREATE, db.Receive()), ERROR_SUCCESS);
    ASSERT_EQ(RunSql(db.get(),
                     "CREATE TABLE `Property` (`Property` CHAR(72) NOT NULL, `Value` LONGCHAR "
                     "PRIMARY KEY `Property`)"),
              ERROR_SUCCESS);
    for (const char* row : {"('A','one')", "('B','two')"}) {
      ASSERT_EQ(RunSql(db.get(),
                       std::string("INSERT INTO `Property` (`Property`,`Value`) VALUES ") + row),
                ERROR_SUCCESS);
    }
    ASSERT_EQ(MsiDatabaseCommit(db.get()), ERROR_SUCCESS);
  }

  // Changes the bytes of the stream of table `table` in the file behind the engine's back.
  void EditTableStream(std::string_view table,
                       const std::function<void(std::vector<std::byte>&)>& edit) {
    StorageError error = StorageError::kNone;
    auto file = CompoundFile::Open(path_, CompoundFile::Mode::kReadWrite, &error);
    ASSERT_TRUE(file);
    const std::u16string name = EncodeStreamName(table, true);
    auto bytes = file->ReadWholeStream(name, 1 << 20, &error);
    ASSERT_TRUE(bytes);
    edit(*bytes);
    ASSERT_EQ(file->WriteStream(name, std::move(*bytes)), StorageError::kNone);
    ASSERT_EQ(file->Commit(), StorageError::kNone);
  }

  // Writes the database anew, by hand, with the string `from` of its pool (and the names of
  // the streams that hold it) changed to `to` of the same length.
  void RewriteWithText(const std::string& from, const std::string& to) {
    StorageError error = StorageError::kNone;
    std::vector<CraftedStream> streams;
    {
      auto file = CompoundFile::Open(path_, CompoundFile::Mode::kReadOnly, &error);
      ASSERT_TRUE(file);
      for (const std::u16string& name : file->StreamNames()) {
        auto bytes = file->ReadWholeStream(name, 1 << 20, &error);
        ASSERT_TRUE(bytes);
        std::string text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        DecodedStreamName decoded = DecodeStreamName(name);
        std::u16string stored = name;
        if (decoded.is_table && decoded.name == "_StringData") {
          text.replace(text.find(from), from.size(), to);
        } else if (const auto at = decoded.name.find(from); at != std::string::npos) {
          stored = EncodeStreamName(decoded.name.replace(at, from.size(), to), decoded.is_table);
        }
        const auto begin = reinterpret_cast<const std::byte*>(text.data());
        streams.push_back({stored, std::vector<std::byte>(begin, begin + text.size())});
      }
    }
    const auto crafted = CraftCompoundFile(9, kInstallerDatabaseClsid, streams, {});
    kb::test::WriteText(path_,
                        std::string(reinterpret_cast<const char*>(crafted.data()), crafted.size()));
  }

  UINT Open(LPCSTR mode) {
    db_.Reset();
    return MsiOpenDatabaseA(path_.c_str(), mode, db_.Receive());
  }

  kb::test::TempDir dir_;
  std::string path_;
  ScopedHandle db_;
};

TEST_F(HostileDatabaseTest, StringReferencePastThePoolRefusesTheTable) {
  // The Value column follows the Property column: two 2-byte references per column. One byte
  // changed makes the second row's value refer past the end of the pool.
  EditTableStream("Property", [](std::vector<std::byte>& bytes) { bytes[7] = std::byte{0x7F}; });
  ASSERT_EQ(Open(MSIDBOPEN_TRANSACT), ERROR_SUCCESS);
  ScopedHandle view;
  EXPECT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT * FROM `Property`", view.Receive()),
            ERROR_INVALID_DATA);
  EXPECT_EQ(RunSql(db_.get(), "UPDATE `Property` SET `Value`='x'"), ERROR_INVALID_DATA);
  EXPECT_NE(MsiDatabaseExportA(db_.get(), "Property", dir_.path().c_str(), "Property.idt"),
            ERROR_SUCCESS);
  // The pool is recounted from every table at commit, so no commit may go through.
  const std::string before = kb::test::ReadText(path_);
  ASSERT_EQ(RunSql(db_.get(), "CREATE TABLE `T` (`K` SHORT PRIMARY KEY `K`)"), ERROR_SUCCESS);
  EXPECT_EQ(MsiDatabaseCommit(db_.get()), ERROR_FUNCTION_FAILED);
  EXPECT_EQ(kb::test::ReadText(path_), before);
  // Dropping the damaged table leaves a database that commits and reads.
  ASSERT_EQ(RunSql(db_.get(), "DROP TABLE `Property`"), ERROR_SUCCESS);
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  ASSERT_EQ(Open(MSIDBOPEN_READONLY), ERROR_SUCCESS);
  EXPECT_EQ(Rows(db_.get(), "SELECT `Name` FROM `_Tables`"), (Rows_{{"T"}}));
}

TEST_F(HostileDatabaseTest, DamagedCatalogRefusesTheDatabase) {
  // `_Tables` holds one string reference per table: list the table twice.
  EditTableStream("_Tables", [](std::vector<std::byte>& bytes) {
    const std::vector<std::byte> once = bytes;
    bytes.insert(bytes.end(), once.begin(), once.end());
  });
  EXPECT_EQ(Open(MSIDBOPEN_TRANSACT), ERROR_OPEN_FAILED);
  SetUp();
  // `_Columns` (Table, Number, Name, Type): a column name past the pool.
  EditTableStream("_Columns", [](std::vector<std::byte>& bytes) {
    bytes[bytes.size() / 2 + 1] = std::byte{0x7F};
  });
  EXPECT_EQ(Open(MSIDBOPEN_READONLY), ERROR_OPEN_FAILED);
}

// `_Columns` rows of a table that `_Tables` does not list belong to no table, so the engine
// ignores them; their strings are counted by nobody. A commit that kept those rows as stored
// would free strings they still refer to, and the database would no longer open.
TEST_F(HostileDatabaseTest, ColumnsOfAnUnlistedTableKeepNoStringAfterACommit) {
  ASSERT_EQ(Open(MSIDBOPEN_TRANSACT), ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(), "CREATE TABLE `Gone` (`Col` SHORT PRIMARY KEY `Col`)"),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  db_.Reset();
  // `_Tables` rows are ordered by string id, and "Gone" was added to the pool last.
  EditTableStream("_Tables", [](std::vector<std::byte>& bytes) { bytes.resize(2); });
  ASSERT_EQ(Open(MSIDBOPEN_TRANSACT), ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(), "UPDATE `Property` SET `Value`='x'"), ERROR_SUCCESS);
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  ASSERT_EQ(Open(MSIDBOPEN_READONLY), ERROR_SUCCESS);
  EXPECT_EQ(Rows(db_.get(), "SELECT `Name` FROM `_Tables`"), (Rows_{{"Property"}}));
  EXPECT_EQ(Rows(db_.get(), "SELECT `Table`, `Name` FROM `_Columns`"),
            (Rows_{{"Property", "Property"}, {"Property", "Value"}}));
  EXPECT_EQ(Rows(db_.get(), "SELECT * FROM `Property`"), (Rows_{{"A", "x"}, {"B", "x"}}));
}

// A pool may hold one string twice; the catalog's names are counted by their text, under the
// first id. A column name stored under the second id must not be freed at the next commit.
TEST_F(HostileDatabaseTest, ColumnNameThePoolHoldsTwiceKeepsItsStringAfterACommit) {
  ASSERT_EQ(Open(MSIDBOPEN_TRANSACT), ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(), "INSERT INTO `Property` (`Property`,`Value`) VALUES ('K','Kolumn')"),
            ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(), "CREATE TABLE `Later` (`Column` SHORT PRIMARY KEY `Column`)"),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  db_.Reset();
  RewriteWithText("Kolumn", "Column");
  ASSERT_EQ(Open(MSIDBOPEN_TRANSACT), ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(), "UPDATE `Property` SET `Value`='x' WHERE `Property`='A'"),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  ASSERT_EQ(Open(MSIDBOPEN_READONLY), ERROR_SUCCESS);
  EXPECT_EQ(Rows(db_.get(), "SELECT `Name` FROM `_Columns` WHERE `Table`='Later'"),
            (Rows_{{"Column"}}));
  EXPECT_EQ(Rows(db_.get(), "SELECT `Value` FROM `Property` WHERE `Property`='K'"),
            (Rows_{{"Column"}}));
}

// A table whose name is not text of the database's code page would be missing from every list
// (as if the database were empty) and its name lost when the pool is recounted at commit.
TEST_F(HostileDatabaseTest, TableNameThatIsNoTextOfTheCodePageRefusesTheDatabase) {
  ASSERT_EQ(Open(MSIDBOPEN_TRANSACT), ERROR_SUCCESS);
  kb::test::WriteText(dir_.path() / "_ForceCodepage.idt", "\r\n\r\n65001\t_ForceCodepage\r\n");
  ASSERT_EQ(MsiDatabaseImportA(db_.get(), dir_.path().c_str(), "_ForceCodepage.idt"),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  db_.Reset();
  EditTableStream("_StringData", [](std::vector<std::byte>& bytes) {
    const std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    bytes[text.find("Property")] = std::byte{0xFF};  // no UTF-8 sequence starts so
  });
  EXPECT_EQ(Open(MSIDBOPEN_READONLY), ERROR_OPEN_FAILED);
}

// A view keeps its statement, not the table it was prepared on: executed after the table was
// dropped and created anew, it looks its columns up in the new table.
TEST_F(HostileDatabaseTest, ViewPreparedBeforeTheTableWasReplacedChecksItAgain) {
  ASSERT_EQ(Open(MSIDBOPEN_TRANSACT), ERROR_SUCCESS);
  ScopedHandle view;
  ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(),
                                 "SELECT `Value`, `Property` FROM `Property` WHERE `Value`='one'",
                                 view.Receive()),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  ScopedHandle fetched;
  ASSERT_EQ(MsiViewFetch(view.get(), fetched.Receive()), ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(), "DROP TABLE `Property`"), ERROR_SUCCESS);
  ASSERT_EQ(
      RunSql(db_.get(), "CREATE TABLE `Property` (`Property` CHAR(72) PRIMARY KEY `Property`)"),
      ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(), "INSERT INTO `Property` (`Property`) VALUES ('A')"), ERROR_SUCCESS);
  // The fetched row belongs to the dropped table: writing it back must not reach the new one.
  MsiRecordSetStringA(fetched.get(), 1, "changed");
  EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_UPDATE, fetched.get()), ERROR_FUNCTION_FAILED);
  EXPECT_EQ(MsiViewExecute(view.get(), 0), ERROR_FUNCTION_FAILED);  // `Value` is gone
  ScopedHandle names;
  ASSERT_EQ(MsiViewGetColumnInfo(view.get(), MSICOLINFO_NAMES, names.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(MsiRecordGetFieldCount(names.get()), 0u);

  ASSERT_EQ(RunSql(db_.get(), "DROP TABLE `Property`"), ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(),
                   "CREATE TABLE `Property` (`Extra` SHORT, `Value` LONGCHAR, `Property` CHAR(72) "
                   "PRIMARY KEY `Property`)"),
            ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(),
                   "INSERT INTO `Property` (`Extra`,`Value`,`Property`) VALUES "
                   "(7,'one','P')"),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  ASSERT_EQ(MsiViewFetch(view.get(), fetched.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(FieldText(fetched.get(), 1), "one");
  EXPECT_EQ(FieldText(fetched.get(), 2), "P");
}

// An UPDATE refused at one row leaves the rows before it as they were. Here the third row's
// key makes a stream name too long for the storage, so its object cell cannot be set.
TEST_F(HostileDatabaseTest, UpdateRefusedPartWayChangesNoRow) {
  ASSERT_EQ(Open(MSIDBOPEN_TRANSACT), ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(),
                   "CREATE TABLE `Bin` (`Key` CHAR(0) NOT NULL, `Size` SHORT, "
                   "`Data` OBJECT PRIMARY KEY `Key`)"),
            ERROR_SUCCESS);
  for (const std::string& key : std::vector<std::string>{"a", "b", std::string(80, 'k'), "z"}) {
    ASSERT_EQ(RunSql(db_.get(), "INSERT INTO `Bin` (`Key`,`Size`) VALUES ('" + key + "', 1)"),
              ERROR_SUCCESS);
  }
  const std::string data = (dir_.path() / "data.bin").string();
  kb::test::WriteText(data, "bytes");
  ScopedHandle stream(MsiCreateRecord(1));
  ASSERT_EQ(MsiRecordSetStreamA(stream.get(), 1, data.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(RunSql(db_.get(), "UPDATE `Bin` SET `Size`=2, `Data`=?", stream.get()),
            ERROR_FUNCTION_FAILED);
  EXPECT_EQ(Rows(db_.get(), "SELECT `Size` FROM `Bin` WHERE `Data` IS NULL"),
            (Rows_{{"1"}, {"1"}, {"1"}, {"1"}}));
  EXPECT_TRUE(Rows(db_.get(), "SELECT `Name` FROM `_Streams`").empty());
  // The rows a key can name are changed together.
  EXPECT_EQ(RunSql(db_.get(),
                   "UPDATE `Bin` SET `Size`=3, `Data`=? WHERE `Key` <> 'z' AND `Size`=1 "
                   "AND (`Key` = 'a' OR `Key` = 'b')",
                   stream.get()),
            ERROR_SUCCESS);
  EXPECT_EQ(Rows(db_.get(), "SELECT `Name` FROM `_Streams`"), (Rows_{{"Bin.a"}, {"Bin.b"}}));
}

// A statement or a modify through a join changes everything it concerns or nothing: a key
// column is never updated, even where no row matches, and a refused table of a join leaves the
// other tables as they were.
TEST_F(HostileDatabaseTest, ChangesRefusedInPartChangeNothing) {
  ASSERT_EQ(Open(MSIDBOPEN_TRANSACT), ERROR_SUCCESS);
  EXPECT_EQ(RunSql(db_.get(), "UPDATE `Property` SET `Property`='C' WHERE `Value`='none'"),
            ERROR_FUNCTION_FAILED);
  ASSERT_EQ(RunSql(db_.get(),
                   "CREATE TABLE `Link` (`Id` SHORT NOT NULL, `Prop` CHAR(72) PRIMARY KEY `Id`)"),
            ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(), "INSERT INTO `Link` (`Id`, `Prop`) VALUES (1, 'A')"), ERROR_SUCCESS);
  ScopedHandle view;
  ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(),
                                 "SELECT `Id`, `Value` FROM `Link`, `Property` WHERE `Prop` = "
                                 "`Property`",
                                 view.Receive()),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  ScopedHandle row;
  ASSERT_EQ(MsiViewFetch(view.get(), row.Receive()), ERROR_SUCCESS);
  // `Link` takes its new id; `Property` (code page 1252) cannot hold the value.
  MsiRecordSetInteger(row.get(), 1, 2);
  MsiRecordSetStringA(row.get(), 2, "\xe6\x97\xa5");
  EXPECT_EQ(MsiViewModify(view.get(), MSIMODIFY_UPDATE, row.get()), ERROR_FUNCTION_FAILED);
  EXPECT_EQ(Rows(db_.get(), "SELECT * FROM `Link`"), (Rows_{{"1", "A"}}));
  EXPECT_EQ(Rows(db_.get(), "SELECT `Value` FROM `Property` WHERE `Property`='A'"),
            (Rows_{{"one"}}));
}

// Text of a UTF-8 database whose bytes are not UTF-8 (written elsewhere) keeps them when its
// row is updated; summary information in a code page the engine does not convert is refused.
TEST_F(HostileDatabaseTest, TextTheCodePageDoesNotPromiseStaysAsItWas) {
  ASSERT_EQ(Open(MSIDBOPEN_TRANSACT), ERROR_SUCCESS);
  kb::test::WriteText(dir_.path() / "cp" / "_ForceCodepage.idt",
                      "\r\n\r\n65001\t_ForceCodepage\r\n");
  kb::test::WriteText(dir_.path() / "cp" / "Words.idt",
                      "Word\tNote\tN\r\ns8\tS8\tI2\r\nWords\tWord\r\nw\tCafXY\t1\r\n");
  ScopedHandle fresh;
  const std::string utf8 = (dir_.path() / "utf8.msi").string();
  ASSERT_EQ(MsiOpenDatabaseA(utf8.c_str(), MSIDBOPEN_CREATE, fresh.Receive()), ERROR_SUCCESS);
  for (const char* file : {"_ForceCodepage.idt", "Words.idt"}) {
    ASSERT_EQ(MsiDatabaseImportA(fresh.get(), (dir_.path() / "cp").c_str(), file), ERROR_SUCCESS);
  }
  ASSERT_EQ(MsiDatabaseCommit(fresh.get()), ERROR_SUCCESS);
  fresh.Reset();
  path_ = utf8;
  RewriteWithText("CafXY", "Caf\xe9!");
  ASSERT_EQ(Open(MSIDBOPEN_TRANSACT), ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(), "UPDATE `Words` SET `N`=2"), ERROR_SUCCESS);
  ScopedHandle view;
  ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT `Word`, `Note` FROM `Words`", view.Receive()),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  ScopedHandle row;
  ASSERT_EQ(MsiViewFetch(view.get(), row.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(FieldText(row.get(), 2), "Caf\xc3\xa9!");  // read as Windows-1252
  ASSERT_EQ(MsiViewModify(view.get(), MSIMODIFY_UPDATE, row.get()), ERROR_SUCCESS);
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  db_.Reset();
  StorageError error = StorageError::kNone;
  auto file = CompoundFile::Open(path_, CompoundFile::Mode::kReadOnly, &error);
  ASSERT_TRUE(file);
  const auto data = file->ReadWholeStream(EncodeStreamName("_StringData", true), 1 << 20, &error);
  ASSERT_TRUE(data);
  const std::string bytes(reinterpret_cast<const char*>(data->data()), data->size());
  EXPECT_NE(bytes.find("Caf\xe9!"), std::string::npos) << bytes;

  // Property 1 (the code page) of the summary information set to 932 behind the engine's back.
  ScopedHandle summary;
  ASSERT_EQ(MsiGetSummaryInformationA(0, path_.c_str(), 2, summary.Receive()), ERROR_SUCCESS);
  ASSERT_EQ(MsiSummaryInfoSetPropertyA(summary.get(), 1, VT_I2, 1252, nullptr, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiSummaryInfoSetPropertyA(summary.get(), 2, VT_LPSTR, 0, nullptr, "Title"),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiSummaryInfoPersist(summary.get()), ERROR_SUCCESS);
  summary.Reset();
  file = CompoundFile::Open(path_, CompoundFile::Mode::kReadWrite, &error);
  ASSERT_TRUE(file);
  const std::u16string name = u"\u0005SummaryInformation";
  auto stream = file->ReadWholeStream(name, 1 << 20, &error);
  ASSERT_TRUE(stream);
  const std::byte code_page[] = {std::byte{2}, std::byte{0},    std::byte{0},
                                 std::byte{0}, std::byte{0xE4}, std::byte{0x04}};
  const auto at =
      std::search(stream->begin(), stream->end(), std::begin(code_page), std::end(code_page));
  ASSERT_NE(at, stream->end());
  at[4] = std::byte{0xA4};
  at[5] = std::byte{0x03};
  ASSERT_EQ(file->WriteStream(name, std::move(*stream)), StorageError::kNone);
  ASSERT_EQ(file->Commit(), StorageError::kNone);
  file.reset();
  EXPECT_EQ(MsiGetSummaryInformationA(0, path_.c_str(), 0, summary.Receive()), ERROR_INVALID_DATA);
}

// Export names each binary field's file after its row's key, and their folder after the
// table: names that come from the database and must not lead out of the chosen folder. The
// compound file format cannot name a stream with "/", so the row whose key leads out comes from
// a file made by hand, as an attacker would make it.
TEST_F(HostileDatabaseTest, ExportWritesNothingOutsideItsFolder) {
  ASSERT_EQ(Open(MSIDBOPEN_TRANSACT), ERROR_SUCCESS);
  const std::string data = (dir_.path() / "data.bin").string();
  kb::test::WriteText(data, "bytes");
  ScopedHandle stream(MsiCreateRecord(1));
  ASSERT_EQ(MsiRecordSetStreamA(stream.get(), 1, data.c_str()), ERROR_SUCCESS);
  for (const char* table : {"Binary", "UPUPU"}) {
    ASSERT_EQ(
        RunSql(db_.get(), std::string("CREATE TABLE `") + table +
                              "` (`Name` CHAR(0) NOT NULL, `Data` OBJECT PRIMARY KEY `Name`)"),
        ERROR_SUCCESS);
  }
  for (const char* key : {"ok", "KEYKEYK"}) {
    ASSERT_EQ(RunSql(db_.get(),
                     std::string("INSERT INTO `Binary` (`Name`,`Data`) VALUES ('") + key + "', ?)",
                     stream.get()),
              ERROR_SUCCESS);
  }
  ASSERT_EQ(RunSql(db_.get(), "INSERT INTO `UPUPU` (`Name`) VALUES ('none')"), ERROR_SUCCESS);
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  db_.Reset();
  RewriteWithText("KEYKEYK", "../../x");
  RewriteWithText("UPUPU", "../Up");

  ASSERT_EQ(Open(MSIDBOPEN_READONLY), ERROR_SUCCESS);
  ASSERT_EQ(Rows(db_.get(), "SELECT `Name` FROM `Binary`"), (Rows_{{"ok"}, {"../../x"}}));
  const std::filesystem::path out = dir_.path() / "a" / "b" / "out";
  std::filesystem::create_directories(out);
  EXPECT_NE(MsiDatabaseExportA(db_.get(), "Binary", out.c_str(), "Binary.idt"), ERROR_SUCCESS);
  EXPECT_NE(MsiDatabaseExportA(db_.get(), "../Up", out.c_str(), "Up.idt"), ERROR_SUCCESS);
  EXPECT_EQ(MsiDatabaseExportA(db_.get(), "Property", out.c_str(), "../Property.idt"),
            ERROR_BAD_PATHNAME);
  std::vector<std::string> outside;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path())) {
    if (*std::filesystem::relative(entry.path(), out).begin() == "..") {
      outside.push_back(entry.path().lexically_relative(dir_.path()).string());
    }
  }
  std::sort(outside.begin(), outside.end());
  EXPECT_EQ(outside, (std::vector<std::string>{"a", "a/b", "data.bin", "test.msi"}));
}

TEST_F(HostileDatabaseTest, DeepConditionsAreRefusedAndLongChainsRun) {
  ASSERT_EQ(Open(MSIDBOPEN_READONLY), ERROR_SUCCESS);
  auto nested = [](std::size_t depth) {
    return "SELECT `Value` FROM `Property` WHERE " + std::string(depth, '(') + "`Property`='B'" +
           std::string(depth, ')');
  };
  EXPECT_EQ(Rows(db_.get(), nested(256)), (Rows_{{"two"}}));
  ScopedHandle view;
  EXPECT_EQ(MsiDatabaseOpenViewA(db_.get(), nested(257).c_str(), view.Receive()),
            ERROR_BAD_QUERY_SYNTAX);
  EXPECT_EQ(MsiDatabaseOpenViewA(db_.get(), nested(20000).c_str(), view.Receive()),
            ERROR_BAD_QUERY_SYNTAX);
  // A long chain of one operator is as deep as a short one.
  std::string chain = "SELECT `Value` FROM `Property` WHERE `Property`='none'";
  for (int i = 0; i < 30000; ++i) chain += " OR `Property`='x" + std::to_string(i) + "'";
  EXPECT_EQ(Rows(db_.get(), chain + " OR `Property`='B'"), (Rows_{{"two"}}));
  EXPECT_EQ(Rows(db_.get(), chain + " AND `Property`='B'"), Rows_{});
}

}  // namespace
}  // namespace kb::msi::test

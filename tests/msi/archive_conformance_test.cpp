// Streams set from files, text archives as Windows tools write them, a database opened with an
// output file, and archives stamped with a code page. The answers msi.dll gives under Wine are
// checked by msi_wine_transcript_test; these are the cases Wine cannot settle (it crashes on a
// NUL in an archive) or that need a second reader (msiinfo) or the bytes on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "sql_helpers.h"
#include "test_support/needs.h"
#include "test_support/run_command.h"
#include "test_support/temp_dir.h"
#include "test_support/text_file.h"

namespace kb::msi::test {
namespace {

namespace fs = std::filesystem;
using kb::test::ReadText;
using kb::test::WriteText;
using Rows_ = std::vector<std::vector<std::string>>;

class ArchiveConformanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (dir_.path() / "db.msi").string();
    ASSERT_EQ(MsiOpenDatabaseA(path_.c_str(), MSIDBOPEN_CREATE, db_.Receive()), ERROR_SUCCESS);
    ASSERT_EQ(RunSql(db_.get(),
                     "CREATE TABLE `Files` (`Name` CHAR(20) NOT NULL, `Data` OBJECT PRIMARY KEY "
                     "`Name`)"),
              ERROR_SUCCESS);
  }

  UINT Import(const std::string& file, const std::string& text) {
    WriteText(dir_.path() / "arc" / file, text);
    return MsiDatabaseImportA(db_.get(), (dir_.path() / "arc").c_str(), file.c_str());
  }

  // The whole stream of field `field` of the only row `sql` selects.
  std::string StreamOf(const std::string& sql, UINT field = 1) {
    ScopedHandle view;
    ScopedHandle record;
    if (MsiDatabaseOpenViewA(db_.get(), sql.c_str(), view.Receive()) != ERROR_SUCCESS ||
        MsiViewExecute(view.get(), 0) != ERROR_SUCCESS ||
        MsiViewFetch(view.get(), record.Receive()) != ERROR_SUCCESS) {
      return "(no row)";
    }
    std::string bytes(1 << 16, '\0');
    DWORD size = static_cast<DWORD>(bytes.size());
    if (MsiRecordReadStream(record.get(), field, bytes.data(), &size) != ERROR_SUCCESS) {
      return "(no stream)";
    }
    bytes.resize(size);
    return bytes;
  }

  kb::test::TempDir dir_;
  std::string path_;
  ScopedHandle db_;
};

// The field holds the file open: what happens to the path afterwards does not reach the
// database, and a file written to in place (which Windows would not allow while it is open) is
// refused rather than stored with other bytes than the field's. A stream copied from another
// row keeps the bytes it had when it was copied.
TEST_F(ArchiveConformanceTest, StreamFieldsKeepTheFileTheyWereSetFrom) {
  const fs::path file = dir_.path() / "payload.bin";
  WriteText(file, "first contents");
  ScopedHandle record(MsiCreateRecord(1));
  ASSERT_EQ(MsiRecordSetStreamA(record.get(), 1, file.c_str()), ERROR_SUCCESS);
  fs::remove(file);
  WriteText(file, "another file under the same name");
  ASSERT_EQ(RunSql(db_.get(), "INSERT INTO `Files` (`Name`, `Data`) VALUES ('a', ?)", record.get()),
            ERROR_SUCCESS);

  ASSERT_EQ(MsiRecordSetStreamA(record.get(), 1, file.c_str()), ERROR_SUCCESS);
  WriteText(file, "rewritten");  // the same file, truncated and written again
  EXPECT_EQ(RunSql(db_.get(), "INSERT INTO `Files` (`Name`, `Data`) VALUES ('b', ?)", record.get()),
            ERROR_FUNCTION_FAILED);

  ScopedHandle view;
  ScopedHandle fetched;
  ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT `Data` FROM `Files` WHERE `Name` = 'a'",
                                 view.Receive()),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  ASSERT_EQ(MsiViewFetch(view.get(), fetched.Receive()), ERROR_SUCCESS);
  ASSERT_EQ(
      RunSql(db_.get(), "INSERT INTO `Files` (`Name`, `Data`) VALUES ('copy', ?)", fetched.get()),
      ERROR_SUCCESS);
  WriteText(dir_.path() / "other.bin", "changed after the copy");
  ASSERT_EQ(MsiRecordSetStreamA(record.get(), 1, (dir_.path() / "other.bin").c_str()),
            ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(), "UPDATE `Files` SET `Data` = ? WHERE `Name` = 'a'", record.get()),
            ERROR_SUCCESS);
  fetched.Reset();
  view.Reset();
  record.Reset();
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  fs::remove(file);

  ASSERT_EQ(MsiOpenDatabaseA(path_.c_str(), MSIDBOPEN_READONLY, db_.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(StreamOf("SELECT `Data` FROM `Files` WHERE `Name` = 'a'"), "changed after the copy");
  EXPECT_EQ(StreamOf("SELECT `Data` FROM `Files` WHERE `Name` = 'copy'"), "first contents");
  EXPECT_EQ(Rows(db_.get(), "SELECT `Name` FROM `Files` WHERE `Name` = 'b'"), Rows_{});
}

// A file written to after its stream was inserted fails the commit (whose copy would store
// bytes nobody inserted), and the database keeps its last committed state.
TEST_F(ArchiveConformanceTest, AFileWrittenToBeforeTheCommitFailsIt) {
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  const fs::path file = dir_.path() / "cabinet.bin";
  WriteText(file, std::string(100000, 'c'));
  ScopedHandle record(MsiCreateRecord(1));
  ASSERT_EQ(MsiRecordSetStreamA(record.get(), 1, file.c_str()), ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(), "INSERT INTO `Files` (`Name`, `Data`) VALUES ('a', ?)", record.get()),
            ERROR_SUCCESS);
  WriteText(file, std::string(50000, 'x'));
  EXPECT_EQ(MsiDatabaseCommit(db_.get()), ERROR_FUNCTION_FAILED);
  record.Reset();
  db_.Reset();
  ASSERT_EQ(MsiOpenDatabaseA(path_.c_str(), MSIDBOPEN_READONLY, db_.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(Rows(db_.get(), "SELECT `Name` FROM `Files`"), Rows_{});
}

// How archives from Windows tools read: a NUL in a value is a line feed, CRs before a line's LF
// belong to the line end, binary data lies in the table's folder or the one named after the
// archive, and a binary field naming a path is refused before anything outside the folder is
// opened.
TEST_F(ArchiveConformanceTest, ArchivesReadAsWindowsWritesThem) {
  ASSERT_EQ(Import("Nul.idt", std::string("Name\tValue\r\ns72\tS255\r\nNul\tName\r\n"
                                          "a\ttext\x11\x19more\0after\r\nb\tz\0\r\r\n",
                                          56)),
            ERROR_SUCCESS);
  EXPECT_EQ(Rows(db_.get(), "SELECT `Name`, `Value` FROM `Nul`"),
            (Rows_{{"a", "text\r\nmore\nafter"}, {"b", "z\n"}}));

  WriteText(dir_.path() / "arc" / "Pictures" / "logo.ibd", "picture bytes");
  ASSERT_EQ(Import("Pictures.idt", "Name\tData\r\ns72\tv0\r\nBinary\tName\r\nlogo\tlogo.ibd\r\n"),
            ERROR_SUCCESS);
  EXPECT_EQ(StreamOf("SELECT `Data` FROM `Binary`"), "picture bytes");

  WriteText(dir_.path() / "secret", "not for the archive");
  for (const std::string name : {"../../secret", "..\\..\\secret", "..", "/etc/hostname"}) {
    EXPECT_EQ(Import("Up.idt", "Name\tData\r\ns72\tv0\r\nUp\tName\r\nx\t" + name + "\r\n"),
              ERROR_FUNCTION_FAILED)
        << name;
  }
  // Nor do the folders a table's name or the archive's name give.
  EXPECT_EQ(Import("Dots.idt", "Name\tData\r\ns72\tv0\r\n..\tName\r\nx\tsecret\r\n"),
            ERROR_FUNCTION_FAILED);
  EXPECT_EQ(Import("...idt", "Name\tData\r\ns72\tv0\r\nDots\tName\r\nx\tsecret\r\n"),
            ERROR_FUNCTION_FAILED);
  EXPECT_EQ(MsiDatabaseImportA(db_.get(), (dir_.path() / "arc").c_str(), "Missing.idt"),
            ERROR_FUNCTION_FAILED);
}

// A file time reaches into the year 30828; a later time is refused, not wrapped round.
TEST_F(ArchiveConformanceTest, SummaryTimesStayWithinWhatAFileTimeHolds) {
  const std::string head = "PropertyId\tValue\r\ni2\tl255\r\n_SummaryInformation\tPropertyId\r\n";
  for (const char* late : {"30828/01/01 00:00:00", "99999/12/31 23:59:59"}) {
    EXPECT_EQ(Import("Late.idt", head + "12\t" + late + "\r\n"), ERROR_FUNCTION_FAILED) << late;
  }
  ASSERT_EQ(Import("Last.idt", head + "12\t30827/12/31 23:59:59\r\n"), ERROR_SUCCESS);
  ASSERT_EQ(MsiDatabaseExportA(db_.get(), "_SummaryInformation", dir_.path().c_str(), "S.idt"),
            ERROR_SUCCESS);
  EXPECT_NE(ReadText(dir_.path() / "S.idt").find("12\t30827/12/31 23:59:59\r\n"),
            std::string::npos);
}

// An archive declaring its key columns after others makes the table CREATE TABLE would: the
// keys first, each swapped with the column that stood in its place, and every value under its
// own column's name. (msi.dll under Wine orders the columns so but leaves the values where the
// archive had them, putting text into the key's place; no oracle for this case.)
TEST_F(ArchiveConformanceTest, KeyColumnsOfAnImportedTableLead) {
  ASSERT_EQ(Import("Late.idt",
                   "Note\tCount\tKey\tSub\r\nS40\tI2\ts20\ti2\r\nLate\tKey\tSub\r\n"
                   "first note\t7\tk1\t1\r\n\t\tk2\t2\r\n"),
            ERROR_SUCCESS);
  ScopedHandle view;
  ASSERT_EQ(MsiDatabaseOpenViewA(db_.get(), "SELECT * FROM `Late`", view.Receive()), ERROR_SUCCESS);
  ScopedHandle names;
  ScopedHandle types;
  ASSERT_EQ(MsiViewGetColumnInfo(view.get(), MSICOLINFO_NAMES, names.Receive()), ERROR_SUCCESS);
  ASSERT_EQ(MsiViewGetColumnInfo(view.get(), MSICOLINFO_TYPES, types.Receive()), ERROR_SUCCESS);
  std::vector<std::string> columns;
  for (UINT field = 1; field <= MsiRecordGetFieldCount(names.get()); ++field) {
    columns.push_back(FieldText(names.get(), field) + " " + FieldText(types.get(), field));
  }
  EXPECT_EQ(columns, (std::vector<std::string>{"Key s20", "Sub i2", "Note S40", "Count I2"}));
  EXPECT_EQ(Rows(db_.get(), "SELECT `Key`, `Sub`, `Note`, `Count` FROM `Late`"),
            (Rows_{{"k1", "1", "first note", "7"}, {"k2", "2", "", ""}}));
  ScopedHandle keys;
  ASSERT_EQ(MsiDatabaseGetPrimaryKeysA(db_.get(), "Late", keys.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(FieldText(keys.get(), 1) + "," + FieldText(keys.get(), 2), "Key,Sub");
}

// A stamped archive goes into a database of its code page, or a neutral one that takes it on;
// the text then reads back as written.
TEST_F(ArchiveConformanceTest, StampedArchivesNeedTheirCodePageOrANeutralDatabase) {
  if (const auto missing = kb::test::MissingTools({"msiinfo"})) GTEST_SKIP() << *missing;
  const std::string cafe_1252 = "Name\tValue\r\ns72\tS255\r\n1252\tCafe\tName\r\na\tcaf\xe9\r\n";
  ASSERT_EQ(Import("Cafe.idt", cafe_1252), ERROR_SUCCESS);  // the new database is neutral
  EXPECT_EQ(Rows(db_.get(), "SELECT `Value` FROM `Cafe`"), Rows_{{"caf\u00e9"}});
  const fs::path out = dir_.path() / "out";
  fs::create_directories(out);
  ASSERT_EQ(MsiDatabaseExportA(db_.get(), "_ForceCodepage", out.c_str(), "cp.idt"), ERROR_SUCCESS);
  EXPECT_EQ(ReadText(out / "cp.idt"), "\r\n\r\n1252\t_ForceCodepage\r\n");

  EXPECT_EQ(Import("Cyrillic.idt", "Name\tValue\r\ns72\tS255\r\n1251\tCyr\tName\r\na\t\xff\r\n"),
            ERROR_FUNCTION_FAILED);
  ASSERT_EQ(Import("_ForceCodepage.idt", "\r\n\r\n65001\t_ForceCodepage\r\n"), ERROR_SUCCESS);
  EXPECT_EQ(Import("Cafe.idt", cafe_1252), ERROR_FUNCTION_FAILED);
  EXPECT_EQ(Import("Plain.idt", "Name\tValue\r\ns72\tS255\r\nCafe\tName\r\nb\tplain\r\n"),
            ERROR_SUCCESS);  // without a stamp the text is in the database's code page
}

// A database opened with an output file: the original keeps every byte, each commit writes the
// output, which msiinfo reads; the summary information is the original's and cannot be changed.
TEST_F(ArchiveConformanceTest, AnOutputFileTakesTheCommitsAndTheOriginalStays) {
  if (const auto missing = kb::test::MissingTools({"msiinfo"})) GTEST_SKIP() << *missing;
  ASSERT_EQ(RunSql(db_.get(), "INSERT INTO `Files` (`Name`) VALUES ('kept')"), ERROR_SUCCESS);
  ScopedHandle summary;
  ASSERT_EQ(MsiGetSummaryInformationA(db_.get(), nullptr, 1, summary.Receive()), ERROR_SUCCESS);
  ASSERT_EQ(MsiSummaryInfoSetPropertyA(summary.get(), PID_TITLE, VT_LPSTR, 0, nullptr, "Original"),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiSummaryInfoPersist(summary.get()), ERROR_SUCCESS);
  summary.Reset();
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  db_.Reset();
  const std::string original = ReadText(path_);

  const std::string output = (dir_.path() / "output.msi").string();
  ASSERT_EQ(MsiOpenDatabaseA(path_.c_str(), output.c_str(), db_.Receive()), ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(), "INSERT INTO `Files` (`Name`) VALUES ('added')"), ERROR_SUCCESS);
  ASSERT_EQ(MsiGetSummaryInformationA(db_.get(), nullptr, 1, summary.Receive()), ERROR_SUCCESS);
  ASSERT_EQ(MsiSummaryInfoSetPropertyA(summary.get(), PID_TITLE, VT_LPSTR, 0, nullptr, "Changed"),
            ERROR_SUCCESS);
  EXPECT_EQ(MsiSummaryInfoPersist(summary.get()), ERROR_FUNCTION_FAILED);
  summary.Reset();
  EXPECT_FALSE(fs::exists(output));
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  ASSERT_EQ(RunSql(db_.get(), "DELETE FROM `Files` WHERE `Name` = 'kept'"), ERROR_SUCCESS);
  ASSERT_EQ(MsiDatabaseCommit(db_.get()), ERROR_SUCCESS);
  db_.Reset();

  EXPECT_EQ(ReadText(path_), original);
  int status = 0;
  const std::string rows =
      kb::test::RunCommand("msiinfo export '" + output + "' Files 2>/dev/null", &status);
  EXPECT_EQ(status, 0) << rows;
  EXPECT_EQ(rows, "Name\tData\r\ns20\tV0\r\nFiles\tName\r\nadded\t\r\n");
  const std::string title = kb::test::RunCommand("msiinfo suminfo '" + output + "' 2>&1", &status);
  EXPECT_NE(title.find("Title: Original"), std::string::npos) << title;
  for (const auto& entry : fs::directory_iterator(dir_.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".msi."), std::string::npos) << entry.path();
  }
}

}  // namespace
}  // namespace kb::msi::test

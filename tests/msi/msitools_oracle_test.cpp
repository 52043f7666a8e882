// Databases we write are read by msitools (and olefile) with the same content, and databases
// msitools writes are read by us as msiinfo reads them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "msi/db/database.h"
#include "msi/db/idt_archive.h"
#include "ole_oracle.h"
#include "peer_databases.h"
#include "platform/codepage.h"
#include "test_support/needs.h"
#include "test_support/temp_dir.h"
#include "test_support/text_file.h"

namespace kb::msi::test {
namespace {

namespace fs = std::filesystem;
using kb::test::ReadText;
using kb::test::WriteText;

std::vector<std::string> SplitOn(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(separator, start)) != std::string::npos;
       start = end + separator.size()) {
    parts.push_back(text.substr(start, end - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

std::string JoinWith(const std::vector<std::string>& parts, const std::string& separator) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) text += (i ? separator : "") + parts[i];
  return text;
}

// Our archive text as msiinfo prints it: UTF-8 without a code page line, and binary fields
// naming the stream ("Table.Key") rather than the exported file ("Key.ibd").
std::string AsMsiinfoPrints(const std::string& archive) {
  std::vector<std::string> lines = SplitOn(archive, "\r\n");
  std::vector<std::string> third = SplitOn(lines[2], "\t");
  const bool has_code_page =
      !third[0].empty() && third[0].find_first_not_of("0123456789") == std::string::npos;
  if (has_code_page) third.erase(third.begin());
  lines[2] = JoinWith(third, "\t");
  const std::vector<std::string> types = SplitOn(lines[1], "\t");
  for (std::size_t i = 3; i < lines.size(); ++i) {
    std::vector<std::string> fields = SplitOn(lines[i], "\t");
    for (std::size_t f = 0; f < fields.size() && f < types.size(); ++f) {
      if ((types[f][0] == 'v' || types[f][0] == 'V') && fields[f].ends_with(".ibd")) {
        fields[f] = third[0] + "." + fields[f].substr(0, fields[f].size() - 4);
      }
    }
    lines[i] = JoinWith(fields, "\t");
    for (char& c : lines[i]) c = c == '\x10' ? '\t' : c == '\x19' ? '\n' : c == '\x11' ? '\r' : c;
  }
  const std::string text = JoinWith(lines, "\r\n");
  return has_code_page ? platform::Windows1252ToUtf8(text) : text;
}

// Runs in a scratch folder: msiinfo's export writes the data of binary columns into the
// current folder.
std::string Msiinfo(const std::string& arguments) {
  int status = 0;
  const kb::test::TempDir scratch;
  const std::string out = RunCommand(
      "cd '" + scratch.path().string() + "' && msiinfo " + arguments + " 2>/dev/null", &status);
  EXPECT_EQ(status, 0) << "msiinfo " << arguments;
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A set of archives in Windows' own export form (rows in stored key order), with a code page,
// summary information, non-ASCII text, escapes, nulls, integers of both widths and a binary
// column.
void WriteArchives(const fs::path& dir) {
  WriteText(dir / "_ForceCodepage.idt", "\r\n\r\n1252\t_ForceCodepage\r\n");
  WriteText(
      dir / "_SummaryInformation.idt",
      "PropertyId\tValue\r\ni2\tl255\r\n_SummaryInformation\tPropertyId\r\n1\t1252\r\n"
      "2\tInstallation Database\r\n3\tCaf\xe9 Tool\r\n4\tBob's\r\n9\t{0C8A6C85-2E0B-4F9A-9E0E-"
      "2B6A1F1E6B11}\r\n12\t2024/05/06 07:08:09\r\n14\t200\r\n15\t2\r\n");
  WriteText(dir / "Property.idt",
            "Property\tValue\r\ns72\tl0\r\n1252\tProperty\tProperty\r\nProductName\tBob's "
            "Caf\xe9\r\nManufacturer\tMe\x10 and\x19you\r\nEmpty\t\r\n");
  WriteText(
      dir / "Numbers.idt",
      "Key\tSmall\tBig\tNote\r\ni2\tI2\tI4\tS0\r\nNumbers\tKey\r\n-3\t\t-2147483647\tminus\r\n"
      "7\t-32767\t2147483647\t\r\n300\t5\t\tx\r\n");
  WriteText(dir / "Binary.idt",
            "Name\tData\r\ns72\tv0\r\nBinary\tName\r\nBannerBitmap\tBannerBitmap.ibd\r\n"
            "Icon\tIcon.ibd\r\n");
  WriteText(dir / "Binary" / "BannerBitmap.ibd", std::string(5000, 'b') + "end");
  WriteText(dir / "Binary" / "Icon.ibd", "icon bytes");
}

const std::vector<std::string> kTables = {"Binary", "Numbers", "Property"};

void ImportAll(const fs::path& dir, const std::string& database_path) {
  ScopedHandle database;
  ASSERT_EQ(MsiOpenDatabaseA(database_path.c_str(), MSIDBOPEN_CREATE, database.Receive()),
            ERROR_SUCCESS);
  for (const char* file : {"_ForceCodepage.idt", "_SummaryInformation.idt", "Property.idt",
                           "Numbers.idt", "Binary.idt"}) {
    ASSERT_EQ(MsiDatabaseImportA(database.get(), dir.c_str(), file), ERROR_SUCCESS) << file;
  }
  ASSERT_EQ(MsiDatabaseCommit(database.get()), ERROR_SUCCESS);
}

std::string Render(Database& database, const std::string& table) {
  return RenderArchive(database, table, nullptr).value_or("(not exported)");
}

TEST(MsitoolsOracleTest, ReadsWhatWeWriteWithTheSameContent) {
  if (const auto missing = kb::test::MissingTools({"msiinfo", "msibuild", "wixl", "olefile"}))
    GTEST_SKIP() << *missing;
  kb::test::TempDir dir;
  WriteArchives(dir.path() / "in");
  const std::string path = (dir.path() / "out.msi").string();
  ImportAll(dir.path() / "in", path);

  std::shared_ptr<Database> ours;
  ASSERT_EQ(Database::Open(path, Database::OpenMode::kReadOnly, &ours), kSuccess);
  for (const std::string& table : kTables) {
    EXPECT_EQ(Msiinfo("export '" + path + "' " + table), AsMsiinfoPrints(Render(*ours, table)))
        << table;
  }
  std::vector<std::string> tables = Lines(Msiinfo("tables '" + path + "'"));
  std::sort(tables.begin(), tables.end());
  EXPECT_EQ(tables, (std::vector<std::string>{"Binary", "Numbers", "Property", "_ForceCodepage",
                                              "_SummaryInformation"}));
  std::vector<std::string> streams = Lines(Msiinfo("streams '" + path + "'"));
  std::sort(streams.begin(), streams.end());
  EXPECT_EQ(streams, (std::vector<std::string>{"\005SummaryInformation", "Binary.BannerBitmap",
                                               "Binary.Icon"}));
  EXPECT_EQ(Msiinfo("extract '" + path + "' Binary.BannerBitmap"), std::string(5000, 'b') + "end");
  const std::string summary = Msiinfo("suminfo '" + path + "'");
  EXPECT_NE(summary.find("Title: Installation Database\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("Author: Bob's\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("Version: 200 (c8)\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("Created: Mon May  6 07:08:09 2024"), std::string::npos) << summary;

  std::string complaint;
  const Listing listing = ListWithOlefile(path, &complaint);
  EXPECT_EQ(complaint, "");
  EXPECT_EQ(listing.clsid, "000c108400000000c000000000000046");
}

TEST(MsitoolsOracleTest, ImportThenExportGivesTheArchivesBackByteForByte) {
  if (const auto missing = kb::test::MissingTools({"msiinfo", "msibuild", "wixl", "olefile"}))
    GTEST_SKIP() << *missing;
  kb::test::TempDir dir;
  WriteArchives(dir.path() / "in");
  const std::string path = (dir.path() / "out.msi").string();
  ImportAll(dir.path() / "in", path);
  ScopedHandle database;
  ASSERT_EQ(MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, database.Receive()), ERROR_SUCCESS);
  const fs::path out = dir.path() / "out";
  fs::create_directories(out);
  for (const std::string name :
       {"_ForceCodepage", "_SummaryInformation", "Property", "Numbers", "Binary"}) {
    ASSERT_EQ(
        MsiDatabaseExportA(database.get(), name.c_str(), out.c_str(), (name + ".idt").c_str()),
        ERROR_SUCCESS);
    EXPECT_EQ(ReadText(out / (name + ".idt")), ReadText(dir.path() / "in" / (name + ".idt")))
        << name;
  }
  for (const char* file : {"BannerBitmap.ibd", "Icon.ibd"}) {
    EXPECT_EQ(ReadText(out / "Binary" / file), ReadText(dir.path() / "in" / "Binary" / file));
  }
}

TEST(MsitoolsOracleTest, WeReadPeerDatabasesAsMsiinfoDoes) {
  if (const auto missing = kb::test::MissingTools({"msiinfo", "msibuild", "wixl", "olefile"}))
    GTEST_SKIP() << *missing;
  kb::test::TempDir dir;
  for (const std::string& path : {MakeMsibuildDatabase(dir.path()), MakeWixlDatabase(dir.path())}) {
    ASSERT_FALSE(path.empty());
    std::shared_ptr<Database> ours;
    ASSERT_EQ(Database::Open(path, Database::OpenMode::kReadOnly, &ours), kSuccess) << path;
    const std::vector<std::string> tables = Lines(Msiinfo("tables '" + path + "'"));
    EXPECT_GT(tables.size(), 2u);
    for (const std::string& table : tables) {
      if (table == "_ForceCodepage" || table == "_SummaryInformation") continue;
      EXPECT_EQ(AsMsiinfoPrints(Render(*ours, table)), Msiinfo("export '" + path + "' " + table))
          << path << " " << table;
    }
  }
}

TEST(MsitoolsOracleTest, WideStringReferencesPastSixtyFiveThousandStrings) {
  if (const auto missing = kb::test::MissingTools({"msiinfo", "msibuild", "wixl", "olefile"}))
    GTEST_SKIP() << *missing;
  kb::test::TempDir dir;
  std::string archive = "Key\tValue\r\ns72\tS0\r\nMany\tKey\r\n";
  for (int i = 0; i < 33000; ++i) {
    archive += "k" + std::to_string(i) + "\tv" + std::to_string(i) + "\r\n";
  }
  WriteText(dir.path() / "Many.idt", archive);
  const std::string path = (dir.path() / "many.msi").string();
  {
    ScopedHandle database;
    ASSERT_EQ(MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_CREATE, database.Receive()), ERROR_SUCCESS);
    ASSERT_EQ(MsiDatabaseImportA(database.get(), dir.path().c_str(), "Many.idt"), ERROR_SUCCESS);
    ASSERT_EQ(MsiDatabaseCommit(database.get()), ERROR_SUCCESS);
  }
  EXPECT_EQ(Msiinfo("export '" + path + "' Many"), archive);
  std::shared_ptr<Database> ours;
  ASSERT_EQ(Database::Open(path, Database::OpenMode::kReadOnly, &ours), kSuccess);
  EXPECT_EQ(ours->pool().stored_ref_width(), 3u);
  EXPECT_EQ(Render(*ours, "Many"), archive);
}

}  // namespace
}  // namespace kb::msi::test

// kitbinder-cli's database subcommands, run as a user runs them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "test_support/needs.h"
#include "test_support/run_command.h"
#include "test_support/temp_dir.h"
#include "test_support/text_file.h"

namespace kb::cli {
namespace {

namespace fs = std::filesystem;
using kb::test::ReadText;
using kb::test::WriteText;

struct Outcome {
  int status = -1;
  std::string out;
};

// The shell command that runs kitbinder-cli with `arguments`; one that hangs is stopped and
// fails with status 124.
std::string CliCommandLine(const std::string& arguments) {
  return "timeout 60 " + std::string(KITBINDER_BIN_DIR) + "/kitbinder-cli " + arguments;
}

// Runs kitbinder-cli; `out` holds what it printed on standard output, and its messages on
// standard error too when `with_errors` is set.
Outcome Cli(const std::string& arguments, bool with_errors = false) {
  Outcome outcome;
  outcome.out = test::RunCommand(
      CliCommandLine(arguments) + (with_errors ? " 2>&1" : " 2>/dev/null"), &outcome.status);
  return outcome;
}

const std::string kProperty =
    "Property\tValue\r\ns72\tl0\r\n1252\tProperty\tProperty\r\nProductName\tCaf\xe9\r\n";
const std::string kBinary =
    "Name\tData\r\ns72\tv0\r\nBinary\tName\r\nBannerBitmap\tBannerBitmap.ibd\r\n";

class DatabaseCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    in_ = dir_.path() / "in";
    WriteText(in_ / "_ForceCodepage.idt", "\r\n\r\n1252\t_ForceCodepage\r\n");
    WriteText(in_ / "Property.idt", kProperty);
    WriteText(in_ / "Binary.idt", kBinary);
    WriteText(in_ / "Binary" / "BannerBitmap.ibd", "JPEG");
    db_ = "'" + (dir_.path() / "made.msi").string() + "'";
  }

  kb::test::TempDir dir_;
  fs::path in_;
  std::string db_;
};

TEST_F(DatabaseCommandsTest, ImportedArchivesExportAsTheyCame) {
  ASSERT_EQ(Cli("import " + db_ + " '" + in_.string() + "'").status, 0);
  const Outcome property = Cli("export " + db_ + " Property");
  EXPECT_EQ(property.status, 0);
  EXPECT_EQ(property.out, kProperty);
  const fs::path out = dir_.path() / "out";
  fs::create_directories(out);
  ASSERT_EQ(Cli("export " + db_ + " Binary '" + out.string() + "'").status, 0);
  EXPECT_EQ(ReadText(out / "Binary.idt"), kBinary);
  EXPECT_EQ(ReadText(out / "Binary" / "BannerBitmap.ibd"), "JPEG");
  EXPECT_EQ(Cli("tables " + db_).out, "Binary\nProperty\n");
  EXPECT_EQ(Cli("streams " + db_).out, "Binary.BannerBitmap\n");
}

TEST_F(DatabaseCommandsTest, QueryChangesAndPrintsRows) {
  ASSERT_EQ(Cli("import " + db_ + " '" + in_.string() + "' Property.idt").status, 0);
  EXPECT_EQ(Cli("query " + db_ +
                " \"INSERT INTO \\`Property\\` (\\`Property\\`,\\`Value\\`) VALUES ('A','1')\"")
                .status,
            0);
  const Outcome rows = Cli("query " + db_ + " \"SELECT * FROM Property WHERE Value <> 'x'\"");
  EXPECT_EQ(rows.status, 0);
  EXPECT_EQ(rows.out, "ProductName\tCaf\u00e9\nA\t1\n");
  EXPECT_EQ(Cli("summary " + db_).status, 0);
  // Any white space may lead; a statement of white space alone is no statement.
  const Outcome fed = Cli(
      "query " + db_ + " \"$(printf '\\f\\v\\r')SELECT Value FROM Property WHERE Property='A'\"");
  EXPECT_EQ(fed.status, 0);
  EXPECT_EQ(fed.out, "1\n");
  EXPECT_EQ(Cli("query " + db_ + " \"$(printf ' \\f\\t')\"").status, 2);
  EXPECT_EQ(Cli("query " + db_ + " ''").status, 2);
  ASSERT_EQ(
      Cli("query " + db_ + " \"INSERT INTO Property (Property,Value) VALUES ('B','1')\"").status,
      0);
  EXPECT_EQ(Cli("query " + db_ + " \"SELECT DISTINCT Value FROM Property\"").out, "Caf\u00e9\n1\n");
}

TEST_F(DatabaseCommandsTest, ExitCodesSayWhatWentWrong) {
  EXPECT_EQ(Cli("import " + db_).status, 2);
  EXPECT_EQ(Cli("import " + db_ + " '" + (dir_.path() / "nowhere").string() + "'").status, 2);
  EXPECT_EQ(Cli("tables '" + (dir_.path() / "missing.msi").string() + "'").status, 2);
  WriteText(in_ / "Bad.idt", "A\tB\r\ns72\r\nBad\tA\r\n");
  EXPECT_EQ(Cli("import " + db_ + " '" + in_.string() + "' Bad.idt").status, 1);
  // The engine's reason follows the error number.
  WriteText(in_ / "Twice.idt", "A\tA\r\ns72\ts72\r\nTwice\tA\r\n");
  const Outcome twice = Cli("import " + db_ + " '" + in_.string() + "' Twice.idt", true);
  EXPECT_EQ(twice.status, 1);
  EXPECT_NE(twice.out.find("has two columns named \"A\""), std::string::npos) << twice.out;
  ASSERT_EQ(Cli("import " + db_ + " '" + in_.string() + "' Property.idt").status, 0);
  EXPECT_EQ(Cli("export " + db_ + " NoTable").status, 1);
  EXPECT_EQ(Cli("query " + db_ + " \"SELECT * FROM\"").status, 2);
  EXPECT_EQ(Cli("query " + db_ +
                " \"INSERT INTO Property (Property,Value) VALUES ('ProductName','dup')\"")
                .status,
            1);
}

TEST_F(DatabaseCommandsTest, ExportSaysWhyItFailed) {
  ASSERT_EQ(Cli("import " + db_ + " '" + in_.string() + "'").status, 0);
  const std::string missing = "'" + (dir_.path() / "nowhere").string() + "'";
  const struct {
    std::string arguments;
    int status;
    std::string reason;
  } cases[] = {
      {"NoTable", 1, "cannot export NoTable: there is no table \"NoTable\""},
      {"NoTable " + missing, 2, "there is no folder "},
      {"Binary " + missing, 2, "there is no folder "},
  };
  for (const auto& c : cases) {
    const Outcome outcome = Cli("export " + db_ + " " + c.arguments, true);
    EXPECT_EQ(outcome.status, c.status) << c.arguments;
    EXPECT_NE(outcome.out.find(c.reason), std::string::npos) << c.arguments << ": " << outcome.out;
  }
}

// A parameter marker needs a record the command line cannot give; every row prints on one
// line, whatever its values hold.
TEST_F(DatabaseCommandsTest, QueryRefusesParametersAndKeepsEachRowOnOneLine) {
  ASSERT_EQ(Cli("import " + db_ + " '" + in_.string() + "' Property.idt").status, 0);
  const Outcome marker = Cli("query " + db_ + " \"SELECT * FROM Property WHERE Value = ?\"", true);
  EXPECT_EQ(marker.status, 2);
  EXPECT_NE(marker.out.find("parameters cannot be passed on the command line"), std::string::npos)
      << marker.out;
  EXPECT_EQ(
      Cli("query " + db_ + " \"INSERT INTO Property (Property,Value) VALUES ('Q','why?')\"").status,
      0);
  ASSERT_EQ(
      Cli("query " + db_ + " \"INSERT INTO Property (Property,Value) VALUES ('W','$(printf '" +
          "a\\tb\\\\c\\r\\nd\\ne')')\"")
          .status,
      0);
  EXPECT_EQ(Cli("query " + db_ + " \"SELECT Property, Value FROM Property WHERE Property <> " +
                "'ProductName'\"")
                .out,
            "Q\twhy?\nW\ta\\tb\\\\c\\r\\nd\\ne\n");
}

// "cannot open" names the reason, from the file system or from the engine.
TEST_F(DatabaseCommandsTest, CannotOpenSaysWhy) {
  const std::string missing = (dir_.path() / "missing.msi").string();
  const std::string text = (dir_.path() / "text.msi").string();
  WriteText(text, "not a compound file");
  struct Case {
    std::string command;
    std::string reason;
  };
  const Case cases[] = {
      {"tables '" + missing + "'", "cannot open " + missing + ": no such file"},
      {"tables '" + in_.string() + "'", "cannot open " + in_.string() + ": it is a folder"},
      {"query '" + text + "' \"SELECT * FROM Property\"",
       "cannot open " + text + ": it is not an installer database, or it is damaged"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Cli(c.command, true);
    EXPECT_EQ(outcome.status, 2) << c.command;
    EXPECT_NE(outcome.out.find(c.reason), std::string::npos) << outcome.out;
  }
  // A read-only database to change: as root, change it as the user nobody.
  const std::string cli = std::string(KITBINDER_BIN_DIR) + "/kitbinder-cli";
  if (const auto unreachable = kb::test::UnreachableByNobody(cli)) GTEST_SKIP() << *unreachable;
  ASSERT_EQ(Cli("import " + db_ + " '" + in_.string() + "' Property.idt").status, 0);
  fs::permissions(dir_.path(), fs::perms(0755));
  fs::permissions(dir_.path() / "made.msi", fs::perms(0444));
  const std::string as_nobody =
      ::geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
  int status = -1;
  const std::string refused = test::RunCommand(
      as_nobody + CliCommandLine("query " + db_ + " \"DELETE FROM Property\" 2>&1"), &status);
  EXPECT_EQ(status, 2) << refused;
  EXPECT_NE(refused.find("made.msi: it is read-only"), std::string::npos) << refused;
  EXPECT_EQ(Cli("query " + db_ + " \"SELECT Property FROM Property\"").out, "ProductName\n");
}

// A pipe waits for a writer that never comes; each command must refuse it at once, naming it.
TEST_F(DatabaseCommandsTest, PipesAndUnreadableFoldersAreRefusedPromptly) {
  const auto pipe = [](const fs::path& path) {
    fs::create_directories(path.parent_path());
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0) << path;
  };
  pipe(dir_.path() / "pipe.msi");
  const std::string pipe_db = "'" + (dir_.path() / "pipe.msi").string() + "'";
  for (const std::string command : {"tables ", "streams ", "summary ", "export "}) {
    const Outcome opened = Cli(command + pipe_db + (command == "export " ? " Property" : ""), true);
    EXPECT_EQ(opened.status, 2) << command << opened.out;
    EXPECT_NE(opened.out.find("pipe.msi"), std::string::npos) << opened.out;
  }
  pipe(in_ / "Pipe.idt");
  const Outcome archive = Cli("import " + db_ + " '" + in_.string() + "' Pipe.idt", true);
  EXPECT_EQ(archive.status, 2) << archive.out;
  EXPECT_NE(archive.out.find("Pipe.idt"), std::string::npos) << archive.out;
  // A binary field's data comes from a file of the folder beside the archive.
  fs::remove(in_ / "Binary" / "BannerBitmap.ibd");
  pipe(in_ / "Binary" / "BannerBitmap.ibd");
  const Outcome stream = Cli("import " + db_ + " '" + in_.string() + "' Binary.idt", true);
  EXPECT_EQ(stream.status, 1) << stream.out;
  EXPECT_NE(stream.out.find("Binary.idt"), std::string::npos) << stream.out;

  // Export replaces what has a binary field's file name, a pipe too, without waiting on it.
  ASSERT_EQ(Cli("import " + db_ + " '" + in_.string() + "' Property.idt").status, 0);
  fs::remove(in_ / "Binary" / "BannerBitmap.ibd");
  WriteText(in_ / "Binary" / "BannerBitmap.ibd", "JPEG");
  ASSERT_EQ(Cli("import " + db_ + " '" + in_.string() + "' Binary.idt").status, 0);
  const fs::path out = dir_.path() / "out";
  pipe(out / "Binary" / "BannerBitmap.ibd");
  EXPECT_EQ(Cli("export " + db_ + " Binary '" + out.string() + "'", true).status, 0);
  EXPECT_EQ(ReadText(out / "Binary" / "BannerBitmap.ibd"), "JPEG");

  // A folder its reader may not list: as root, read it as the user nobody.
  const std::string cli = std::string(KITBINDER_BIN_DIR) + "/kitbinder-cli";
  if (const auto unreachable = kb::test::UnreachableByNobody(cli)) GTEST_SKIP() << *unreachable;
  fs::permissions(dir_.path(), fs::perms(0755));
  const fs::path closed = dir_.path() / "closed";
  WriteText(closed / "Property.idt", kProperty);
  fs::permissions(closed, fs::perms::none);
  const std::string as_reader =
      ::geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
  int status = -1;
  const std::string listed = test::RunCommand(
      as_reader + CliCommandLine("import '" + (dir_.path() / "nobody.msi").string() + "' '" +
                                 closed.string() + "' 2>&1"),
      &status);
  fs::permissions(closed, fs::perms(0755));
  EXPECT_EQ(status, 2) << listed;
  EXPECT_NE(listed.find("cannot list the folder " + closed.string() + " (Permission denied)"),
            std::string::npos)
      << listed;
}

TEST_F(DatabaseCommandsTest, DatabaseInACodePageWeCannotReadIsRefusedByName) {
  if (const auto missing = kb::test::MissingTools({"msibuild"})) GTEST_SKIP() << *missing;
  // msitools writes a database in any code page; the engine converts three and must not show
  // another as an empty database.
  const fs::path cyrillic = dir_.path() / "cyrillic";
  WriteText(cyrillic / "_ForceCodepage.idt", "\r\n\r\n1251\t_ForceCodepage\r\n");
  WriteText(cyrillic / "Property.idt",
            "Property\tValue\r\ns72\tl0\r\nProperty\tProperty\r\nA\tB\r\n");
  int status = -1;
  test::RunCommand("cd '" + cyrillic.string() +
                       "' && msibuild 1251.msi -i _ForceCodepage.idt -i Property.idt 2>&1",
                   &status);
  ASSERT_EQ(status, 0);
  const std::string db = "'" + (cyrillic / "1251.msi").string() + "'";
  const Outcome tables = Cli("tables " + db, true);
  EXPECT_EQ(tables.status, 2);
  EXPECT_NE(tables.out.find("code page 1251"), std::string::npos) << tables.out;
  const std::string before = ReadText(cyrillic / "1251.msi");
  EXPECT_EQ(Cli("query " + db + " \"UPDATE Property SET Value='x'\"").status, 2);
  EXPECT_EQ(Cli("export " + db + " Property").status, 2);
  EXPECT_EQ(ReadText(cyrillic / "1251.msi"), before);
}

}  // namespace
}  // namespace kb::cli

// kitbinder-cli query with the installer's join and constant columns, as a user types them,
// and on rows whose keys are empty.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>

#include "test_support/needs.h"
#include "test_support/run_command.h"
#include "test_support/temp_dir.h"
#include "test_support/text_file.h"

namespace kb::cli {
namespace {

TEST(QueryJoinTest, PrintsJoinedRowsAndConstantColumns) {
  kb::test::TempDir dir;
  const auto in = dir.path() / "in";
  kb::test::WriteText(in / "Component.idt",
                      "Component\tDirectory_\r\ns72\tS72\r\nComponent\tComponent\r\n"
                      "Main\tINSTALLDIR\r\nHelp\tDOCS\r\n");
  kb::test::WriteText(in / "FeatureComponents.idt",
                      "Feature_\tComponent_\r\ns38\ts72\r\nFeatureComponents\tFeature_\tComponent_"
                      "\r\nComplete\tMain\r\nComplete\tHelp\r\nExtras\tHelp\r\n");
  const std::string cli = std::string(KITBINDER_BIN_DIR) + "/kitbinder-cli ";
  const std::string db = "'" + (dir.path() / "join.msi").string() + "'";
  int status = -1;
  kb::test::RunCommand(cli + "import " + db + " '" + in.string() + "'", &status);
  ASSERT_EQ(status, 0);
  const std::string joined = kb::test::RunCommand(
      cli + "query " + db +
          " 'SELECT Feature_, Component.Component, Directory_, 1, '\"''\"' FROM "
          "FeatureComponents, Component WHERE Component_ = Component ORDER BY Directory_'",
      &status);
  EXPECT_EQ(status, 0);
  // Rows of the last table outermost; ORDER BY keeps equal directories together in pool order.
  EXPECT_EQ(joined,
            "Complete\tMain\tINSTALLDIR\t1\t\nComplete\tHelp\tDOCS\t1\t\n"
            "Extras\tHelp\tDOCS\t1\t\n");
  kb::test::RunCommand(cli + "query " + db + " 'SELECT Feature_ FROM Order' 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
  // Refusals the engine can explain say why.
  std::string tables = "Component";
  for (int i = 0; i < 32; ++i) tables += ", FeatureComponents";
  const std::pair<std::string, std::string> refused[] = {
      {"SELECT Component FROM " + tables, "a statement names at most 32 tables"},
      {"CREATE TABLE _StringData (K SHORT NOT NULL PRIMARY KEY K)",
       "the name \"_StringData\" is kept by the database"},
  };
  for (const auto& [sql, reason] : refused) {
    const std::string said =
        kb::test::RunCommand(cli + "query " + db + " '" + sql + "' 2>&1", &status);
    EXPECT_NE(status, 0) << sql;
    EXPECT_NE(said.find(reason), std::string::npos) << said;
  }
}

TEST(QueryJoinTest, UpgradeRowsWithEmptyKeysPrintAsMsitoolsExportsThem) {
  if (const auto missing = kb::test::MissingTools({"msiinfo"})) GTEST_SKIP() << *missing;
  kb::test::TempDir dir;
  std::filesystem::copy(KITBINDER_SOURCE_DIR "/examples/sample", dir.path() / "sample",
                        std::filesystem::copy_options::recursive);
  const std::string cli = std::string(KITBINDER_BIN_DIR) + "/kitbinder-cli ";
  int status = -1;
  kb::test::RunCommand(cli + "build '" + (dir.path() / "sample" / "sample.kbr").string() + "'",
                       &status);
  ASSERT_EQ(status, 0);
  const std::string package = "'" + (dir.path() / "sample" / "Sample Tool.msi").string() + "'";
  // Both Upgrade rows have an empty Language, one an empty VersionMax as well.
  const std::string queried =
      kb::test::RunCommand(cli + "query " + package + " 'SELECT * FROM Upgrade'", &status);
  EXPECT_EQ(status, 0);
  std::string exported = kb::test::RunCommand("msiinfo export " + package + " Upgrade", &status);
  ASSERT_EQ(status, 0);
  // The archive's three header lines, then its rows with CR LF where query ends a line.
  for (int line = 0; line < 3; ++line) exported.erase(0, exported.find('\n') + 1);
  std::erase(exported, '\r');
  EXPECT_EQ(std::count(queried.begin(), queried.end(), '\n'), 2);
  EXPECT_EQ(queried, exported);
}

}  // namespace
}  // namespace kb::cli

// kitbinder-cli query with the installer's join and constant columns, as a user types them.
#include <gtest/gtest.h>

#include <string>

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
}

}  // namespace
}  // namespace kb::cli

#include "package/file_type_rows.h"

#include <gtest/gtest.h>

namespace kb {
namespace {

TEST(FileTypeRowsTest, ExtensionListsSplitOnSemicolons) {
  const struct {
    const char* text;
    std::vector<std::string> extensions;
  } cases[] = {
      {"", {}},
      {".abc", {".abc"}},
      {".abc;.abcd", {".abc", ".abcd"}},
      {" .abc ; ;.abcd;", {".abc", ".abcd"}},
      {";;", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitExtensions(c.text), c.extensions) << c.text;
}

TEST(FileTypeRowsTest, AnExtensionIsADotAndAWord) {
  for (const char* good : {".abc", ".a", ".tar-gz", ".my_doc", ".ABC1"}) {
    EXPECT_EQ(ExtensionProblem(good), std::nullopt) << good;
  }
  for (const char* bad : {"abc", ".", ".a b", ".a.b", ".a\\b", ".\u00E9t\u00E9",
                          ".abcdefghijklmnopqrstuvwxyz01234"}) {
    EXPECT_NE(ExtensionProblem(bad), std::nullopt) << bad;
  }
}

TEST(FileTypeRowsTest, ProgIdsAreShortWordsUniqueByPosition) {
  CProjectSettings settings;
  settings.title = "My Great Product, the Long-Named Edition";
  for (const char* path : {"bin/Tool (x64).exe", "bin/tool.exe"}) {
    ProjectFileEntry entry;
    entry.path = path;
    settings.AddFileEntry(entry);
  }
  EXPECT_EQ(ProgIdOf(settings, 0), "MyGreatProducttheLongNamedEdi.Toolx64.1");
  EXPECT_EQ(ProgIdOf(settings, 1), "MyGreatProducttheLongNamedEditio.tool.2");
  for (std::size_t index : {0u, 1u}) EXPECT_LE(ProgIdOf(settings, index).size(), 39u);
}

}  // namespace
}  // namespace kb

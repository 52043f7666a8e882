#include "platform/short_name.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

namespace kb::platform {
namespace {

TEST(ShortNameTest, ValidShortNamesNeedNoAlternateInAnyLetterCase) {
  for (const char* name : {"readme.txt", "README.TXT", "Makefile", "a", "x.c", "ABCDEFGH.IJK",
                           "a~1.b", "{x}-(1).$$$", "don't.do"}) {
    EXPECT_EQ(AlternateShortName(name), "") << name;
  }
}

TEST(ShortNameTest, MakesShortNamesTheWayWindowsDoes) {
  const std::pair<const char*, const char*> cases[] = {
      {"My Tool.exe", "MYTOOL~1.EXE"},
      {"LongFileName", "LONGFI~1"},
      {"abcdefghi.txt", "ABCDEF~1.TXT"},
      {"data.json", "DATA~1.JSO"},
      {"archive.tar.gz", "ARCHIV~1.GZ"},
      {"setup.1.2.msi", "SETUP1~1.MSI"},
      {"a.b.c", "AB~1.C"},
      {"a+b,c;d=e[f].txt", "A_B_C_~1.TXT"},
      {"caf\u00E9.txt", "CAF_~1.TXT"},
      {"\u65E5\u672C\u8A9E.txt", "___~1.TXT"},
      {".bashrc", "BASHRC~1"},
      {"README.", "README~1"},
      {"x.t x", "X~1.TX"},
  };
  for (const auto& [long_name, short_name] : cases) {
    EXPECT_EQ(AlternateShortName(long_name), short_name) << long_name;
  }
}

// Names made together are unique in their folder, letter case ignored, and never take the valid
// 8.3 name of another entry: ~1 to ~4, then the hashed form.
TEST(ShortNameTest, NamesOfOneFolderAreUnique) {
  const std::vector<std::string> names = {
      "Document One.txt",   "Document Two.txt",  "DOCUME~2.TXT",
      "Document Three.txt", "Document Four.txt", "document five.txt",
      "Document Six.txt",   "readme.txt",        "Readme File.txt"};
  const std::vector<std::string> short_names = UniqueShortNames(names);
  ASSERT_EQ(short_names.size(), names.size());
  EXPECT_EQ(short_names[0], "DOCUME~1.TXT");
  EXPECT_EQ(short_names[1], "DOCUME~3.TXT");  // ~2 is an entry's own name
  EXPECT_EQ(short_names[2], "");
  EXPECT_EQ(short_names[3], "DOCUME~4.TXT");
  EXPECT_EQ(short_names[7], "");
  EXPECT_EQ(short_names[8], "README~1.TXT");
  std::set<std::string> seen = {"DOCUME~2.TXT", "README.TXT"};
  for (std::size_t i : {4, 5, 6}) {
    EXPECT_TRUE(std::regex_match(short_names[i], std::regex("DO[0-9A-F]{4}~1\\.TXT")))
        << short_names[i];
  }
  for (const std::string& name : short_names) {
    if (!name.empty()) {
      EXPECT_TRUE(seen.insert(name).second) << name;
    }
  }
  EXPECT_EQ(UniqueShortNames(names), short_names);  // the same folder, the same names
}

}  // namespace
}  // namespace kb::platform

#include "platform/short_name.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kb::platform

#include "package/identifiers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>

#include "test_support/temp_dir.h"

namespace kb {
namespace {

namespace fs = std::filesystem;

// A version 4 GUID of the RFC 4122 variant in upper-case registry format.
constexpr const char* kGuid = "[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}";

void ExpectDistinctTextsOfShape(const std::function<std::string()>& make,
                                const std::string& pattern, std::size_t length) {
  const std::regex shape(pattern);
  std::set<std::string> seen;
  for (int i = 0; i < 10000; ++i) {
    const std::string text = make();
    ASSERT_EQ(text.size(), length) << text;
    ASSERT_TRUE(std::regex_match(text, shape)) << text;
    ASSERT_TRUE(seen.insert(text).second) << "repeated: " << text;
  }
}

TEST(IdentifiersTest, GuidTextsAreNewRandomGuids) {
  ExpectDistinctTextsOfShape(NewGuidText, kGuid, 36);
}

TEST(IdentifiersTest, KeyTextsAreGuidsWithoutHyphens) {
  ExpectDistinctTextsOfShape(NewKeyText, "_[0-9A-F]{12}4[0-9A-F]{3}[89AB][0-9A-F]{15}", 33);
}

TEST(IdentifiersTest, BracedGuidTextsAreGuidsInBraces) {
  ExpectDistinctTextsOfShape(NewBracedGuidText, std::string("\\{") + kGuid + "\\}", 38);
}

// Every hexadecimal digit but the fixed version and variant bits takes all its values.
TEST(IdentifiersTest, GuidDigitsVary) {
  std::vector<std::set<char>> digits(36);
  for (int i = 0; i < 2000; ++i) {
    const std::string text = NewGuidText();
    for (std::size_t d = 0; d < text.size(); ++d) digits[d].insert(text[d]);
  }
  for (std::size_t d = 0; d < digits.size(); ++d) {
    const std::size_t expected = d == 8 || d == 13 || d == 18 || d == 23 ? 1  // hyphens
                                 : d == 14                               ? 1  // version
                                 : d == 19                               ? 4  // variant
                                                                         : 16;
    EXPECT_EQ(digits[d].size(), expected) << "digit " << d;
  }
}

TEST(IdentifiersTest, ShortLongFileNameOfRealFiles) {
  test::TempDir dir;
  const fs::path folder = dir.path() / "My Folder.d";
  fs::create_directory(folder);
  const std::pair<const char*, const char*> cases[] = {
      {"readme.txt", "readme.txt|readme.txt"},     {"README.TXT", "README.TXT|README.TXT"},
      {"My Tool.exe", "MYTOOL~1.EXE|My Tool.exe"}, {"archive.tar.gz", "ARCHIV~1.GZ|archive.tar.gz"},
      {"Makefile", "Makefile|Makefile"},           {"LongFileName", "LONGFI~1|LongFileName"},
      {"manual.html", "MANUAL~1.HTM|manual.html"},
  };
  for (const auto& [name, expected] : cases) {
    std::ofstream(folder / name) << "x";
    EXPECT_EQ(ShortLongFileName((folder / name).string()), expected) << name;
  }
  EXPECT_EQ(ShortLongFileName((folder / "missing.txt").string()), "");
  EXPECT_EQ(ShortLongFileName(folder.string()), "");
  EXPECT_EQ(ShortLongFileName((folder / "readme.txt/").string()), "");
}

}  // namespace
}  // namespace kb

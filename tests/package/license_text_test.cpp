#include "package/license_text.h"

#include <gtest/gtest.h>

#include <fstream>

#include "test_support/temp_dir.h"

namespace kb {
namespace {

std::string ReadBack(const std::string& contents) {
  test::TempDir dir;
  const auto path = (dir.path() / "licence.rtf").string();
  std::ofstream(path, std::ios::binary) << contents;
  return ReadLicenseText(path);
}

TEST(LicenseTextTest, ReadsAsTextWithLineFeeds) {
  EXPECT_EQ(ReadBack("{\\rtf1 a}\r\nline two\r\n"), "{\\rtf1 a}\nline two\n");
  EXPECT_EQ(ReadBack("lone\rcarriage return"), "lone\rcarriage return");
}

TEST(LicenseTextTest, EndsAtCtrlZOrZero) {
  EXPECT_EQ(ReadBack(std::string("text\x1A"
                                 "after",
                                 10)),
            "text");
  EXPECT_EQ(ReadBack(std::string("text\0after", 10)), "text");
}

TEST(LicenseTextTest, KeepsTheFirst32000CharactersAfterLineEndsAreJoined) {
  std::string long_text;
  for (int i = 0; i < 4000; ++i) long_text += "0123456\r\n";  // 36,000 bytes, 32,000 characters
  const std::string read = ReadBack(long_text);
  ASSERT_EQ(read.size(), kMaxLicenseTextLength);
  EXPECT_EQ(read.substr(0, 9), "0123456\n0");
}

TEST(LicenseTextTest, CountsCharactersNotBytes) {
  std::string accented;
  for (std::size_t i = 0; i < kMaxLicenseTextLength + 5; ++i) accented += "\u00E9";
  EXPECT_EQ(ReadBack(accented).size(), 2 * kMaxLicenseTextLength);
}

TEST(LicenseTextTest, ReadsWindows1252Files) {
  EXPECT_EQ(ReadBack("Licence \xE9t\xE9"), "Licence \u00E9t\u00E9");
}

TEST(LicenseTextTest, MissingFileGivesEmptyText) {
  EXPECT_EQ(ReadLicenseText("/nonexistent/licence.rtf"), "");
}

}  // namespace
}  // namespace kb

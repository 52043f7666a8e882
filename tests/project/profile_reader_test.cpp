#include "project/profile_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "project/file_contents.h"
#include "test_support/temp_dir.h"

namespace kb {
namespace {

using namespace std::string_literals;

TEST(ProfileReaderTest, MatchesSectionAndKeyNamesInAnyLetterCase) {
  const ProfileReader profile("[Properties]\r\nTITLE=Upper\r\n[FILES]\r\nFile0Path=a.exe\r\n");
  EXPECT_EQ(profile.GetString("properties", "title"), "Upper");
  EXPECT_EQ(profile.GetString("PROPERTIES", "Title"), "Upper");
  EXPECT_EQ(profile.GetString("files", "file0path"), "a.exe");
  EXPECT_EQ(profile.GetString("files", "title"), "");
}

TEST(ProfileReaderTest, TrimsBlanksAndOnePairOfEnclosingQuotes) {
  const std::pair<std::string, std::string> cases[] = {
      {"  key  =  a value  ", "a value"},
      {"key=\t\v\fv\t", "v"},
      {"key=\"  kept  \"", "  kept  "},
      {"key= 'kept' ", "kept"},
      {"key=\"\"x\"\"", "\"x\""},
      {"key=a \"b\" c", "a \"b\" c"},
      {"key=\"a'", "\"a'"},
      {"key=\"", "\""},
      {"key=\"\"", ""},
      {"key=a=b==c", "a=b==c"},
      {"key", ""},
  };
  for (const auto& [line, expected] : cases) {
    EXPECT_EQ(ProfileReader("[s]\n" + line + "\n").GetString("s", "key"), expected) << line;
  }
}

TEST(ProfileReaderTest, FirstKeyAndFirstSectionOfANameCount) {
  const ProfileReader profile(
      "[s]\nkey\nkey=after a bare line\nk=first\nK=second\n"
      "[S]\nk=repeated section\nonly=in the repeated section\n"
      "[t] trailing text\nk=t\n");
  EXPECT_EQ(profile.GetString("s", "key"), "");
  EXPECT_EQ(profile.GetString("s", "k"), "first");
  EXPECT_EQ(profile.GetString("s", "only"), "");
  EXPECT_EQ(profile.GetString("t", "k"), "t");
}

TEST(ProfileReaderTest, AcceptsEveryLineEndAndAByteOrderMark) {
  const ProfileReader profile("\xEF\xBB\xBF[s]\r\na=1\r\n\r\nb=2\nc=3\rd=4");
  EXPECT_EQ(profile.GetString("s", "a"), "1");
  EXPECT_EQ(profile.GetString("s", "b"), "2");
  EXPECT_EQ(profile.GetString("s", "c"), "3");
  EXPECT_EQ(profile.GetString("s", "d"), "4");
}

TEST(ProfileReaderTest, CutsLongValuesWithoutSplittingACharacter) {
  const std::string ascii(3000, 'x');
  // 1023 two-byte characters fill 2046 bytes; the next one would cross the limit.
  std::string utf8;
  for (int i = 0; i < 1500; ++i) utf8 += "\u00E9";
  const ProfileReader profile("[s]\nascii=" + ascii + "\nquoted=\"" + ascii + "\"\nutf8=" + utf8 +
                              "\nansi=" + std::string(3000, '\xE9') + "\n");
  EXPECT_EQ(profile.GetString("s", "ascii"), ascii.substr(0, 2047));
  EXPECT_EQ(profile.GetString("s", "quoted"), ascii.substr(0, 2047));
  EXPECT_EQ(profile.GetString("s", "utf8"), utf8.substr(0, 2046));
  std::string ansi_expected;
  for (int i = 0; i < 2047; ++i) ansi_expected += "\u00E9";
  EXPECT_EQ(profile.GetString("s", "ansi"), ansi_expected);
}

TEST(ProfileReaderTest, ReadsValuesThatAreNotUtf8AsWindows1252) {
  const ProfileReader profile("[s]\nansi=Caf\xE9 \x80 \x93quoted\x94\nutf8=Caf\xC3\xA9\n");
  EXPECT_EQ(profile.GetString("s", "ansi"), "Caf\u00E9 \u20AC \u201Cquoted\u201D");
  EXPECT_EQ(profile.GetString("s", "utf8"), "Caf\u00E9");
}

TEST(ProfileReaderTest, SurvivesBinaryGarbage) {
  std::mt19937 random(20240601);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 50; ++round) {
    std::string garbage;
    for (int i = 0; i < 4000; ++i) garbage += static_cast<char>(byte(random));
    const ProfileReader profile(garbage + "\n[s]\nkey=found after garbage\n");
    EXPECT_EQ(profile.GetString("s", "key"), "found after garbage");
  }
  const ProfileReader with_nul("[s]\nnul=before\0after\nnext=ok\n"s);
  EXPECT_EQ(with_nul.GetString("s", "nul"), "before");
  EXPECT_EQ(with_nul.GetString("s", "next"), "ok");
}

TEST(ProfileReaderTest, MissingOrEmptyFilesReadAsEmpty) {
  test::TempDir dir;
  test::WriteBytes(dir.path() / "empty.kbr", "");
  for (const auto& path : {dir.path() / "empty.kbr", dir.path() / "missing.kbr", dir.path()}) {
    EXPECT_EQ(ProfileReader::FromFile(path).GetString("properties", "title"), "") << path;
  }
  test::WriteBytes(dir.path() / "p.kbr", "[properties]\r\ntitle=From disk\r\n");
  EXPECT_EQ(ProfileReader::FromFile(dir.path() / "p.kbr").GetString("properties", "title"),
            "From disk");
}

}  // namespace
}  // namespace kb

#include "platform/dos_file_info.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "test_support/temp_dir.h"

namespace kb::platform {
namespace {

class DosFileInfoTest : public testing::Test {
 protected:
  DosFileInfoTest() {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  ~DosFileInfoTest() override {
    ::unsetenv("TZ");
    ::tzset();
  }
};

constexpr std::uint16_t Date(int year, int month, int day) {
  return static_cast<std::uint16_t>((year - 1980) << 9 | month << 5 | day);
}
constexpr std::uint16_t Time(int hour, int minute, int second) {
  return static_cast<std::uint16_t>(hour << 11 | minute << 5 | second / 2);
}

TEST_F(DosFileInfoTest, DateAndTimeInLocalTimeClampedToTheDosRange) {
  DosFileInfo info;
  SetDosDateTime(1623764731, &info);  // 2021-06-15 13:45:31 UTC
  EXPECT_EQ(info.date, Date(2021, 6, 15));
  EXPECT_EQ(info.time, Time(13, 45, 30));
  SetDosDateTime(0, &info);  // 1970
  EXPECT_EQ(info.date, Date(1980, 1, 1));
  EXPECT_EQ(info.time, 0);
  SetDosDateTime(4354819200, &info);  // 2108-01-01
  EXPECT_EQ(info.date, Date(2107, 12, 31));
  EXPECT_EQ(info.time, Time(23, 59, 58));

  ::setenv("TZ", "UTC-2", 1);  // two hours east of UTC
  ::tzset();
  SetDosDateTime(1623764731, &info);
  EXPECT_EQ(info.time, Time(15, 45, 30));
}

TEST_F(DosFileInfoTest, OpensFilesWithTheirAttributesButNotFolders) {
  test::TempDir dir;
  const auto plain = dir.path() / "plain.txt";
  const auto hidden = dir.path() / ".profile";
  std::ofstream(plain) << "p";
  std::ofstream(hidden) << "h";
  std::filesystem::permissions(hidden, std::filesystem::perms(0444));
  DosFileInfo info;
  UniqueFd fd = OpenWithDosInfo(plain.string(), &info);
  EXPECT_TRUE(fd.valid());
  EXPECT_EQ(info.attributes, kDosAttributeArchive);
  fd = OpenWithDosInfo(hidden.string(), &info);
  EXPECT_TRUE(fd.valid());
  EXPECT_EQ(info.attributes, kDosAttributeArchive | kDosAttributeHidden | kDosAttributeReadOnly);
  EXPECT_FALSE(OpenWithDosInfo(dir.path().string(), &info).valid());
  EXPECT_FALSE(OpenWithDosInfo((dir.path() / "missing").string(), &info).valid());
}

}  // namespace
}  // namespace kb::platform

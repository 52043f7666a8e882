#include "platform/crt_file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "test_support/temp_dir.h"

namespace kb::platform {
namespace {

// The values the cabinet writer passes for its temporaries and for the cabinet.
constexpr int kTemporaryFlags = kCrtBinary | kCrtExclusive | kCrtCreate | kCrtReadWrite;
constexpr int kCabinetFlags = kCrtBinary | kCrtTruncate | kCrtCreate | kCrtReadWrite;
constexpr int kReadWriteMode = kCrtPermissionRead | kCrtPermissionWrite;

std::span<const std::byte> Bytes(std::string_view text) {
  return std::as_bytes(std::span(text));
}

TEST(CrtFileIoTest, FlagValuesMatchTheWriters) {
  EXPECT_EQ(kTemporaryFlags, 0x8502);
  EXPECT_EQ(kCabinetFlags, 0x8302);
  EXPECT_EQ(kReadWriteMode, 0x180);
}

TEST(CrtFileIoTest, ExclusiveCreateRefusesAnExistingFileAndTruncateEmptiesIt) {
  test::TempDir dir;
  const std::string path = (dir.path() / "f").string();
  int error = 0;
  const int fd = CrtOpen(path, kTemporaryFlags, kReadWriteMode, error);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(CrtWrite(fd, Bytes("hello"), error), 5);
  EXPECT_EQ(CrtClose(fd, error), 0);
  EXPECT_EQ(CrtOpen(path, kTemporaryFlags, kReadWriteMode, error), -1);
  EXPECT_EQ(error, EEXIST);

  const int again = CrtOpen(path, kCabinetFlags, kReadWriteMode, error);
  ASSERT_GE(again, 0);
  EXPECT_EQ(CrtSeek(again, 0, 2, error), 0);
  EXPECT_EQ(CrtClose(again, error), 0);
}

TEST(CrtFileIoTest, PermissionModeFollowsTheUmask) {
  test::TempDir dir;
  const mode_t old_mask = ::umask(022);
  int error = 0;
  const std::string writable = (dir.path() / "w").string();
  const std::string read_only = (dir.path() / "r").string();
  EXPECT_EQ(CrtClose(CrtOpen(writable, kCabinetFlags, kReadWriteMode, error), error), 0);
  EXPECT_EQ(CrtClose(CrtOpen(read_only, kCabinetFlags, kCrtPermissionRead, error), error), 0);
  ::umask(old_mask);
  EXPECT_EQ(std::filesystem::status(writable).permissions(), std::filesystem::perms(0644));
  EXPECT_EQ(std::filesystem::status(read_only).permissions(), std::filesystem::perms(0444));
}

TEST(CrtFileIoTest, ReadSeekAndRemove) {
  test::TempDir dir;
  const std::string path = (dir.path() / "f").string();
  int error = 0;
  const int fd = CrtOpen(path, kTemporaryFlags, kReadWriteMode, error);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(CrtWrite(fd, Bytes("0123456789"), error), 10);
  EXPECT_EQ(CrtSeek(fd, 2, 0, error), 2);
  EXPECT_EQ(CrtSeek(fd, 3, 1, error), 5);
  EXPECT_EQ(CrtSeek(fd, -1, 2, error), 9);
  std::array<std::byte, 4> buffer{};
  EXPECT_EQ(CrtRead(fd, buffer, error), 1);
  EXPECT_EQ(buffer[0], std::byte{'9'});
  EXPECT_EQ(CrtRead(fd, buffer, error), 0);
  EXPECT_EQ(CrtSeek(fd, 0, 3, error), -1);
  EXPECT_EQ(error, EINVAL);
  EXPECT_EQ(CrtClose(fd, error), 0);
  EXPECT_EQ(CrtRemove(path, error), 0);
  EXPECT_EQ(CrtRemove(path, error), -1);
  EXPECT_EQ(error, ENOENT);
}

TEST(CrtFileIoTest, UnknownFlagsAreRefused) {
  test::TempDir dir;
  int error = 0;
  EXPECT_EQ(CrtOpen((dir.path() / "f").string(), kCabinetFlags | 0x0040, kReadWriteMode, error),
            -1);
  EXPECT_EQ(error, EINVAL);
  EXPECT_EQ(CrtOpen((dir.path() / "f").string(), 0x0003, kReadWriteMode, error), -1);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "f"));
}

}  // namespace
}  // namespace kb::platform

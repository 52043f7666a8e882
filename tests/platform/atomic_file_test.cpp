#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_support/temp_dir.h"

namespace kb::platform {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(AtomicFileTest, ReplacesTheFileAndLeavesNoTemporary) {
  test::TempDir dir;
  const auto path = dir.path() / "project.kbr";
  ASSERT_TRUE(WriteFileAtomically(path, "old"));
  ASSERT_TRUE(WriteFileAtomically(path, "new contents"));
  EXPECT_EQ(ReadFile(path), "new contents");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(AtomicFileTest, FailsInAMissingFolder) {
  test::TempDir dir;
  EXPECT_FALSE(WriteFileAtomically(dir.path() / "missing" / "x.kbr", "data"));
}

TEST(AtomicFileTest, FailureInAReadOnlyFolderLeavesTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  test::TempDir dir;
  const auto path = dir.path() / "x.kbr";
  ASSERT_TRUE(WriteFileAtomically(path, "old"));
  ::chmod(dir.path().c_str(), 0555);
  EXPECT_FALSE(WriteFileAtomically(path, "new"));
  ::chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(ReadFile(path), "old");
}

}  // namespace
}  // namespace kb::platform

#include "platform/atomic_file.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kb::platform

#include "platform/leftover_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/unique_fd.h"
#include "platform/unnamed_file.h"
#include "test_support/temp_dir.h"

namespace kb::platform {
namespace {

namespace fs = std::filesystem;

// The id of a process that has ended.
pid_t EndedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Only a file whose maker is gone and whose lock is free is a leftover: a live maker's file,
// one still locked (its maker's id seen from another machine or namespace), other names,
// folders and links stay.
TEST(LeftoverFilesTest, RemovesOnlyFilesWhoseMakerIsGone) {
  test::TempDir dir;
  const std::string dead = std::to_string(EndedProcess());
  const std::string tag = OwnerTag();
  ASSERT_EQ(tag, std::to_string(::getpid()) + "-");
  const std::vector<std::string> files = {"xx" + dead + "-gone",
                                          "xx" + dead + "-locked",
                                          "xx" + tag + "live",
                                          "xx" + dead + "x-odd",
                                          "xxabc-gone",
                                          "yy" + dead + "-other",
                                          "xx" + dead + "-folder",
                                          "xx" + dead + "-link"};
  for (const std::string& name : files) {
    if (name.ends_with("folder")) {
      fs::create_directory(dir.path() / name);
    } else if (name.ends_with("link")) {
      fs::create_symlink(dir.path() / ("xx" + dead + "-gone"), dir.path() / name);
    } else {
      std::ofstream(dir.path() / name) << "data";
    }
  }
  const UniqueFd held(::open((dir.path() / ("xx" + dead + "-locked")).c_str(), O_RDONLY));
  ASSERT_TRUE(LockAsInUse(held.get()));

  RemoveLeftovers(dir.path().string(), "xx");
  std::vector<std::string> expected = files;
  expected.erase(expected.begin());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Names(dir.path()), expected);
}

TEST(LeftoverFilesTest, AnUnnamedFileLeavesNoNameBehind) {
  test::TempDir dir;
  const UniqueFd fd(OpenUnnamedFile(dir.path().string()));
  ASSERT_TRUE(fd.valid()) << "this file system makes no unnamed files";
  ASSERT_EQ(::write(fd.get(), "data", 4), 4);
  EXPECT_TRUE(Names(dir.path()).empty());
}

}  // namespace
}  // namespace kb::platform

#ifndef KITBINDER_TESTS_TEST_SUPPORT_TEMP_DIR_H_
#define KITBINDER_TESTS_TEST_SUPPORT_TEMP_DIR_H_

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace kb::test {

// A fresh folder under TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kbtest.XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace kb::test

#endif  // KITBINDER_TESTS_TEST_SUPPORT_TEMP_DIR_H_

#include "platform/temp_name.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <set>

#include "test_support/temp_dir.h"

namespace kb::platform {
namespace {

// Sets or clears an environment variable for the scope, restoring the old value.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(TempNameTest, TmpdirComesFirstThenTmpThenTheCurrentFolder) {
  test::TempDir a;
  test::TempDir b;
  {
    ScopedEnv tmpdir("TMPDIR", a.path().c_str());
    ScopedEnv tmp("TMP", b.path().c_str());
    EXPECT_EQ(TempFolder(), a.path().string());
  }
  {
    ScopedEnv tmpdir("TMPDIR", nullptr);
    ScopedEnv tmp("TMP", b.path().c_str());
    EXPECT_EQ(TempFolder(), b.path().string());
  }
  ScopedEnv tmpdir("TMPDIR", "");
  ScopedEnv tmp("TMP", nullptr);
  EXPECT_EQ(TempFolder(), std::filesystem::current_path().string());
}

TEST(TempNameTest, NamesCarryThePrefixAndAreUnused) {
  test::TempDir dir;
  ScopedEnv tmpdir("TMPDIR", (dir.path().string() + "/").c_str());
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    const std::optional<std::string> name = TempName("xx");
    ASSERT_TRUE(name);
    const std::filesystem::path path(*name);
    EXPECT_EQ(path.parent_path(), dir.path());
    EXPECT_TRUE(path.filename().string().starts_with("xx"));
    EXPECT_FALSE(std::filesystem::exists(path));
    names.insert(*name);
  }
  EXPECT_EQ(names.size(), 50u);
}

}  // namespace
}  // namespace kb::platform

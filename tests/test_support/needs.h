#ifndef KITBINDER_TESTS_TEST_SUPPORT_NEEDS_H_
#define KITBINDER_TESTS_TEST_SUPPORT_NEEDS_H_

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

// What a test needs installed. A test whose tool is missing skips, naming the tool and its
// Debian package, instead of failing on the first command:
//   if (const auto missing = test::MissingTools({"cabextract"})) GTEST_SKIP() << *missing;
// The tools and their packages are listed once, in needs.py, which the script tests use too.
namespace kb::test {

// "needs cabextract (Debian package cabextract)" when one of `tools` is not installed, nullopt
// when all are. REQUIRES: each tool is listed in needs.py.
std::optional<std::string> MissingTools(std::initializer_list<std::string_view> tools);

// Why the user nobody cannot run `program` when the tests, running as root, run it as nobody;
// nullopt when it can, or when the tests do not run as root.
std::optional<std::string> UnreachableByNobody(const std::string& program);

}  // namespace kb::test

#endif  // KITBINDER_TESTS_TEST_SUPPORT_NEEDS_H_

#ifndef KITBINDER_TESTS_TEST_SUPPORT_TEXT_FILE_H_
#define KITBINDER_TESTS_TEST_SUPPORT_TEXT_FILE_H_

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace kb::test {

// Writes `bytes` to `path`, creating its folder.
inline void WriteText(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// The bytes of the file at `path`; empty when it cannot be read.
inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace kb::test

#endif  // KITBINDER_TESTS_TEST_SUPPORT_TEXT_FILE_H_

#ifndef KITBINDER_TESTS_PROJECT_FILE_CONTENTS_H_
#define KITBINDER_TESTS_PROJECT_FILE_CONTENTS_H_

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace kb::test {

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

inline void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::ssize(bytes));
}

}  // namespace kb::test

#endif  // KITBINDER_TESTS_PROJECT_FILE_CONTENTS_H_

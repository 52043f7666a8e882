// Versions read from programs mingw builds with and without a version resource, and from every
// truncation and many corruptions of one (under the sanitizers: no read outside the file).
#include "package/pe_version.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "test_support/needs.h"
#include "test_support/run_command.h"
#include "test_support/temp_dir.h"

namespace kb {
namespace {

constexpr const char* kVersionScript = R"(1 VERSIONINFO
FILEVERSION 7,65535,3,40
PRODUCTVERSION 1,0,0,0
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040c04b0"
    BEGIN
      VALUE "FileVersion", "7.65535.3.40"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x040c, 1200
  END
END
)";

class PeVersionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const auto missing =
            test::MissingTools({"x86_64-w64-mingw32-gcc", "x86_64-w64-mingw32-windres"})) {
      GTEST_SKIP() << *missing;
    }
    Write("main.c", "int main(void) { return 0; }\n");
    Write("version.rc", kVersionScript);
  }

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_.path() / name) << text;
  }

  // Builds a program from main.c, with the version resource when `with_version`.
  std::string Build(const std::string& name, bool with_version) {
    const std::string folder = dir_.path().string();
    std::string command = "cd '" + folder + "' && ";
    if (with_version) command += "x86_64-w64-mingw32-windres version.rc -O coff -o version.o && ";
    command += "x86_64-w64-mingw32-gcc -o " + name + " main.c" +
               (with_version ? " version.o" : "") + " 2>&1";
    int status = 0;
    const std::string output = test::RunCommand(command, &status);
    EXPECT_EQ(status, 0) << output;
    return folder + "/" + name;
  }

  test::TempDir dir_;
};

TEST_F(PeVersionTest, ReadsTheFixedVersionAndTheFirstTranslation) {
  const auto version = ReadPeVersion(Build("tool.exe", true));
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(version->version, "7.65535.3.40");
  EXPECT_EQ(version->language, "1036");
  EXPECT_FALSE(ReadPeVersion(Build("plain.exe", false)).has_value());
  Write("notes.txt", "MZ but nothing more");
  EXPECT_FALSE(ReadPeVersion((dir_.path() / "notes.txt").string()).has_value());
}

TEST_F(PeVersionTest, DamagedProgramsGiveNoVersionOrTheRightOne) {
  const std::string program = Build("tool.exe", true);
  std::ifstream in(program, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  const std::string damaged = (dir_.path() / "damaged.exe").string();
  const auto read = [&](const std::vector<char>& content) {
    std::ofstream(damaged, std::ios::binary)
        .write(content.data(), static_cast<long>(content.size()));
    return ReadPeVersion(damaged);
  };
  // A truncated program keeps its version only when the cut spares the resource.
  for (std::size_t length = 0; length < bytes.size(); length += 1 + length / 8) {
    const auto version =
        read(std::vector<char>(bytes.begin(), bytes.begin() + static_cast<long>(length)));
    if (version) {
      EXPECT_EQ(version->version, "7.65535.3.40") << "cut at " << length;
    }
  }
  // A byte set to 0xFF anywhere may change what is read, but never makes the reader leave the
  // file or its buffers: the sanitizers check that.
  for (std::size_t at = 0; at < bytes.size(); at += 97) {
    std::vector<char> corrupt = bytes;
    corrupt[at] = static_cast<char>(0xFF);
    read(corrupt);
  }
}

}  // namespace
}  // namespace kb

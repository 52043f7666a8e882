// The package build's own rules beyond what the end-to-end tests see from outside.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <random>

#include "cabinet/cabinet_builder.h"
#include "package/package_writer.h"
#include "test_support/temp_dir.h"

namespace kb {
namespace {

using cabinet::CabinetBuilder;

// Runs the test in a fresh folder, the way the build runs in the project folder.
class PackageBuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(::getcwd(previous_.data(), previous_.size()), nullptr);
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
  }
  void TearDown() override {
    CabinetBuilder::SetSizeLimits(CabinetBuilder::kDefaultMaxCabinetSize,
                                  CabinetBuilder::kDefaultFolderThreshold);
    ASSERT_EQ(::chdir(previous_.data()), 0);
  }

  static void WriteRandomFile(const std::string& name, std::size_t size) {
    std::mt19937 random(static_cast<unsigned>(size));
    std::ofstream out(name, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i) out.put(static_cast<char>(random()));
  }

  static bool AnyCabinetLeft() {
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
      if (entry.path().extension() == ".cab") {
        ADD_FAILURE() << entry.path();
        return true;
      }
    }
    return false;
  }

  test::TempDir dir_;
  std::array<char, 4096> previous_{};
};

TEST_F(PackageBuildTest, FilesThatNeedSeveralCabinetsFailTheBuildAndLeaveNoCabinet) {
  CProjectSettings settings;
  settings.title = "Spill";
  for (const char* name : {"one.bin", "two.bin"}) {
    WriteRandomFile(name, 50000);
    ProjectFileEntry entry;
    entry.path = name;
    settings.AddFileEntry(entry);
  }
  CabinetBuilder::SetSizeLimits(40000, CabinetBuilder::kDefaultFolderThreshold);

  CPackageWriter writer;
  EXPECT_FALSE(writer.Build(settings, KITBINDER_BIN_DIR "/template-en.msi"));
  EXPECT_THAT(writer.errorText,
              ::testing::StartsWith("Cab file creation failed : the files need "));
  EXPECT_FALSE(AnyCabinetLeft());
}

TEST_F(PackageBuildTest, FillsOnlyTheIdentifiersThatAreMissingAndKeepsTheOthersInCanonicalForm) {
  CProjectSettings settings;
  settings.title = "Keep";
  settings.productcode = "{0f1e2d3c-4b5a-4697-8877-665544332211}";
  for (const char* name : {"tool.exe", "helper.exe"}) {
    WriteRandomFile(name, 1000);
    ProjectFileEntry entry;
    entry.path = name;
    settings.AddFileEntry(entry);
  }
  settings.files[0].componentguid = "{a1b2c3d4-e5f6-4789-8abc-def012345678}";

  CPackageWriter writer;
  ASSERT_TRUE(writer.Build(settings, KITBINDER_BIN_DIR "/template-en.msi")) << writer.errorText;
  EXPECT_EQ(settings.productcode, "{0F1E2D3C-4B5A-4697-8877-665544332211}");
  EXPECT_EQ(settings.packagecode.size(), 38u);
  EXPECT_EQ(settings.upgradecode.size(), 38u);
  EXPECT_EQ(settings.files[0].componentguid, "A1B2C3D4-E5F6-4789-8ABC-DEF012345678");
  EXPECT_EQ(settings.files[1].componentguid.size(), 36u);
  for (const ProjectFileEntry& file : settings.files) {
    EXPECT_EQ(file.id.size(), 33u);
    EXPECT_EQ(file.componentid.size(), 33u);
  }
  EXPECT_NE(settings.files[0].id, settings.files[1].id);
}

}  // namespace
}  // namespace kb

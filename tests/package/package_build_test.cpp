// The package build's own rules beyond what the end-to-end tests see from outside.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <vector>

#include "cabinet/builder/cabinet_builder.h"
#include "cabinet/cabinet_oracles.h"
#include "package/package_writer.h"
#include "test_support/needs.h"
#include "test_support/run_command.h"
#include "test_support/temp_dir.h"

namespace kb {
namespace {

// Runs the test in a fresh folder, the way the build runs in the project folder.
class PackageBuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const auto missing = kb::test::MissingTools({"msiinfo", "cabextract"}))
      GTEST_SKIP() << *missing;
    ASSERT_NE(::getcwd(previous_.data(), previous_.size()), nullptr);
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
  }
  void TearDown() override { ASSERT_EQ(::chdir(previous_.data()), 0); }

  static void WriteRandomFile(const std::string& name, std::size_t size) {
    std::mt19937 random(static_cast<unsigned>(size));
    std::ofstream out(name, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i) out.put(static_cast<char>(random()));
  }

  // A project of the files `names` (made with WriteRandomFile, `size` bytes each).
  static CProjectSettings ProjectOfFiles(std::initializer_list<const char*> names,
                                         std::size_t size) {
    CProjectSettings settings;
    settings.title = "Tool";
    for (const char* name : names) {
      WriteRandomFile(name, size);
      ProjectFileEntry entry;
      entry.path = name;
      settings.AddFileEntry(entry);
    }
    return settings;
  }

  // The package's File rows as msiinfo reads them: the size of each, by file key.
  static std::map<std::string, std::string> FileSizes(const std::string& package) {
    int status = 0;
    std::istringstream rows(test::RunCommand("msiinfo export '" + package + "' File", &status));
    EXPECT_EQ(status, 0);
    std::map<std::string, std::string> sizes;
    std::vector<std::string> fields;
    for (std::string line; std::getline(rows, line);) {
      std::istringstream row(line);
      fields.clear();
      for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
      if (fields.size() >= 4 && fields[0].starts_with('_')) sizes[fields[0]] = fields[3];
    }
    return sizes;
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

  std::string Folder() const { return dir_.path().string(); }

  test::TempDir dir_;
  std::array<char, 4096> previous_{};
};

// Embedded cabinets leave no staged cabinet behind; external ones lie beside the package under
// the title's name, one Media row each either way.
TEST_F(PackageBuildTest, FilesThatNeedSeveralCabinetsGetAMediaRowEach) {
  for (const bool external : {false, true}) {
    CProjectSettings settings = ProjectOfFiles({"one.bin", "two.bin", "three.bin"}, 30000);
    settings.externalcabinets = external;
    CPackageWriter writer;
    writer.packageOptions.max_cabinet_size = 50000;
    ASSERT_TRUE(writer.Build(settings, KITBINDER_BIN_DIR "/template-en.msi", Folder()))
        << writer.errorText;
    int status = 0;
    const std::string media = test::RunCommand("msiinfo export Tool.msi Media", &status);
    const std::vector<std::string> cabinets = {"Tool1.cab", "Tool2.cab", "Tool3.cab"};
    EXPECT_EQ(writer.externalCabinets, external ? cabinets : std::vector<std::string>());
    for (int disk = 1; disk <= 3; ++disk) {
      const std::string cabinet =
          external ? cabinets[disk - 1] : "#Instal0" + std::to_string(disk) + ".cab";
      EXPECT_THAT(media, ::testing::HasSubstr("\n" + std::to_string(disk) + "\t" +
                                              std::to_string(disk) + "\t\t" + cabinet));
      EXPECT_EQ(std::filesystem::exists(cabinets[disk - 1]), external);
    }
    if (!external) {
      EXPECT_FALSE(AnyCabinetLeft());
    }
  }
}

// Run from another current folder, the build finds the project's relative paths in the project
// folder and writes only there.
TEST_F(PackageBuildTest, FillsOnlyTheIdentifiersThatAreMissingAndKeepsTheOthersInCanonicalForm) {
  CProjectSettings settings = ProjectOfFiles({"tool.exe", "helper.exe"}, 1000);
  settings.productcode = "{0f1e2d3c-4b5a-4697-8877-665544332211}";
  settings.files[0].componentguid = "{a1b2c3d4-e5f6-4789-8abc-def012345678}";
  const test::TempDir elsewhere;
  ASSERT_EQ(::chdir(elsewhere.path().c_str()), 0);

  CPackageWriter writer;
  ASSERT_TRUE(writer.Build(settings, KITBINDER_BIN_DIR "/template-en.msi", Folder()))
      << writer.errorText;
  EXPECT_TRUE(std::filesystem::is_regular_file(dir_.path() / "Tool.msi"));
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
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

// A file that grows or shrinks after it was packed is installed as the cabinet holds it, and its
// File row says so; a file that is gone once the cabinet is made fails the build.
TEST_F(PackageBuildTest, FilesThatChangeDuringTheBuildAreInstalledAsPacked) {
  CProjectSettings settings = ProjectOfFiles({"grows.bin", "shrinks.bin", "last.bin"}, 3000);
  const test::FileSet packed = {{"grows.bin", test::ReadBytes("grows.bin")},
                                {"shrinks.bin", test::ReadBytes("shrinks.bin")},
                                {"last.bin", test::ReadBytes("last.bin")}};
  CPackageWriter writer;
  writer.cabinetOptions.observer.entry_starting = [](const cabinet::CabinetProgress& progress) {
    if (progress.entry != 2 || std::filesystem::file_size("shrinks.bin") == 10) return;
    std::ofstream("grows.bin", std::ios::app) << std::string(500, 'x');
    std::filesystem::resize_file("shrinks.bin", 10);
  };
  ASSERT_TRUE(writer.Build(settings, KITBINDER_BIN_DIR "/template-en.msi", Folder()))
      << writer.errorText;

  test::FileSet by_key;
  std::map<std::string, std::string> sizes_by_key;
  for (const ProjectFileEntry& file : settings.files) {
    by_key[file.id] = packed.at(file.path);
    sizes_by_key[file.id] = "3000";
  }
  EXPECT_EQ(FileSizes("Tool.msi"), sizes_by_key);
  int status = 0;
  test::WriteBytes("Instal01.cab",
                   test::RunCommand("msiinfo extract Tool.msi Instal01.cab", &status));
  EXPECT_TRUE(test::CabextractExtracts("Instal01.cab", by_key));
  std::filesystem::remove("Instal01.cab");

  const auto built = std::filesystem::last_write_time("Tool.msi");
  CPackageWriter second;
  second.cabinetOptions.observer.entry_starting = [](const cabinet::CabinetProgress& progress) {
    if (progress.entry == 2) std::filesystem::remove("grows.bin");
  };
  EXPECT_FALSE(second.Build(settings, KITBINDER_BIN_DIR "/template-en.msi", Folder()));
  EXPECT_THAT(second.errorText, ::testing::StartsWith("Failed to add file grows.bin\ngrows.bin "
                                                      "was removed while the files were packed"));
  EXPECT_EQ(std::filesystem::last_write_time("Tool.msi"), built);
  EXPECT_FALSE(AnyCabinetLeft());
}

}  // namespace
}  // namespace kb

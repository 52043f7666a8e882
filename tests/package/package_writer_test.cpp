// CInstallerDatabase and the shared members of CPackageWriter on a small package.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "msi/api/handle_table.h"
#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "package/installer_database.h"
#include "package/package_writer.h"
#include "test_support/needs.h"
#include "test_support/run_command.h"
#include "test_support/temp_dir.h"

namespace kb {
namespace {

std::string Msiinfo(const std::string& arguments) {
  int status = 0;
  return test::RunCommand("msiinfo " + arguments + " 2>&1", &status);
}

std::size_t OpenHandles() {
  return msi::HandleTable::Instance().open_count();
}

class PackageWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const auto missing = kb::test::MissingTools({"msiinfo"})) GTEST_SKIP() << *missing;
    path_ = (dir_.path() / "package.msi").string();
    MakeTemplate();
    baseline_handles_ = OpenHandles();
  }

  void MakeTemplate() {
    msi::ScopedHandle database;
    ASSERT_EQ(MsiOpenDatabaseA(path_.c_str(), MSIDBOPEN_CREATE, database.Receive()), ERROR_SUCCESS);
    for (const char* sql :
         {"CREATE TABLE `Property` (`Property` CHAR(72) NOT NULL, `Value` LONGCHAR NOT NULL "
          "LOCALIZABLE PRIMARY KEY `Property`)",
          "INSERT INTO `Property` (`Property`,`Value`) VALUES ('ProductName','Template')",
          "INSERT INTO `Property` (`Property`,`Value`) VALUES ('Manufacturer','Nobody')"}) {
      msi::ScopedHandle view;
      ASSERT_EQ(MsiDatabaseOpenViewA(database.get(), sql, view.Receive()), ERROR_SUCCESS);
      ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
    }
    ASSERT_EQ(MsiDatabaseCommit(database.get()), ERROR_SUCCESS);
  }

  std::string Properties() { return Msiinfo("export '" + path_ + "' Property"); }

  kb::test::TempDir dir_;
  std::string path_;
  std::size_t baseline_handles_ = 0;
};

TEST_F(PackageWriterTest, SetPropertyStoresAnyTextExactly) {
  CPackageWriter writer;
  EXPECT_FALSE(writer.SetProperty("ProductName", "x"));  // no package open yet
  writer.database = std::make_unique<CInstallerDatabase>(path_);
  ASSERT_TRUE(writer.database->is_open());
  EXPECT_TRUE(writer.SetProperty("ProductName", "Bob's Tool"));
  EXPECT_TRUE(writer.SetProperty("Manufacturer", "O'Neil & \"Sons\" -- ' OR ''='"));
  EXPECT_EQ(Properties(),
            "Property\tValue\r\ns72\tl0\r\nProperty\tProperty\r\nProductName\tBob's Tool\r\n"
            "Manufacturer\tO'Neil & \"Sons\" -- ' OR ''='\r\n");
}

TEST_F(PackageWriterTest, PropertyMissingFromThePackageStillCommits) {
  CPackageWriter writer;
  writer.database = std::make_unique<CInstallerDatabase>(path_);
  ASSERT_TRUE(writer.database->Execute(
      "insert into `Property` (`Property`,`Value`) values ('Pending','row')"));
  EXPECT_EQ(Properties().find("Pending"), std::string::npos);  // not committed yet
  EXPECT_TRUE(writer.SetProperty("NoSuchProperty", "value"));
  const std::string committed = Properties();
  EXPECT_NE(committed.find("Pending\trow\r\n"), std::string::npos) << committed;
  EXPECT_EQ(committed.find("NoSuchProperty"), std::string::npos);
}

TEST_F(PackageWriterTest, FetchPastTheLastRowLeavesNoView) {
  CInstallerDatabase database(path_);
  ASSERT_TRUE(database.Execute("select `Property`,`Value` from `Property`"));
  ASSERT_TRUE(database.Fetch());
  EXPECT_EQ(database.GetString(1), "ProductName");
  ASSERT_TRUE(database.Fetch());
  EXPECT_EQ(database.GetString(2), "Nobody");
  EXPECT_FALSE(database.Fetch());
  EXPECT_EQ(database.view(), 0u);
  EXPECT_EQ(database.record(), 0u);
  EXPECT_EQ(database.GetString(1), "");
  EXPECT_FALSE(database.Fetch());
  EXPECT_EQ(OpenHandles(), baseline_handles_ + 1);  // only the database
}

TEST_F(PackageWriterTest, StreamReplacesAFetchedRowsData) {
  const std::string cabinet = (dir_.path() / "Install1.cab").string();
  std::FILE* file = std::fopen(cabinet.c_str(), "wb");
  std::fputs("MSCF cabinet bytes", file);
  std::fclose(file);
  CInstallerDatabase database(path_);
  ASSERT_TRUE(database.Execute("insert into `_Streams` (`Name`) values('Instal01.cab')"));
  ASSERT_TRUE(database.Execute("select `Name`,`Data` from `_Streams` where `Name`='Instal01.cab'"));
  ASSERT_TRUE(database.Fetch());
  EXPECT_FALSE(database.SetStreamAndUpdate(2, (dir_.path() / "missing.cab").string()));
  ASSERT_TRUE(database.SetStreamAndUpdate(2, cabinet));
  EXPECT_TRUE(database.Commit());
  database.CloseView();
  EXPECT_EQ(Msiinfo("extract '" + path_ + "' Instal01.cab"), "MSCF cabinet bytes");
}

TEST_F(PackageWriterTest, EveryHandleIsReleasedOnceAndNothingUncommittedIsKept) {
  {
    CPackageWriter writer;
    writer.database = std::make_unique<CInstallerDatabase>(path_);
    ASSERT_TRUE(writer.database->Execute("select `Property` from `Property`"));
    ASSERT_TRUE(writer.database->Fetch());
    ASSERT_TRUE(writer.database->Execute(
        "update `Property` set `Value`='lost' where `Property`='ProductName'"));
    EXPECT_GT(OpenHandles(), baseline_handles_);
  }
  EXPECT_EQ(OpenHandles(), baseline_handles_);
  EXPECT_EQ(Properties().find("lost"), std::string::npos);
}

TEST_F(PackageWriterTest, WriterWhoseOpenFailedDoesNothingAndReleasesNothingTwice) {
  {
    CPackageWriter writer;
    writer.database = std::make_unique<CInstallerDatabase>((dir_.path() / "none.msi").string());
    EXPECT_FALSE(writer.database->is_open());
    EXPECT_FALSE(writer.database->Execute("select `Property` from `Property`"));
    EXPECT_FALSE(writer.database->Fetch());
    EXPECT_FALSE(writer.SetProperty("ProductName", "x"));
    EXPECT_FALSE(writer.database->CloseDatabase());
    EXPECT_EQ(OpenHandles(), baseline_handles_);
  }
  EXPECT_EQ(OpenHandles(), baseline_handles_);
}

}  // namespace
}  // namespace kb

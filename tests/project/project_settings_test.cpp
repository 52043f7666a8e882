#include "project/project_settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/file_name_from_path.h"
#include "project/file_entry.h"

namespace kb {
namespace {

std::vector<std::string> IconNames(const CProjectSettings& project) {
  std::vector<std::string> names;
  for (const ProjectIconEntry& icon : project.icons) names.push_back(icon.name);
  return names;
}

TEST(FileNameFromPathTest, TakesTheTextAfterTheLastSeparatorOfEitherKind) {
  EXPECT_EQ(platform::FileNameFromPath("C:\\tools\\app.ico"), "app.ico");
  EXPECT_EQ(platform::FileNameFromPath("/usr/share/icons/app.png"), "app.png");
  EXPECT_EQ(platform::FileNameFromPath("C:\\mixed/dir\\name.ico"), "name.ico");
  EXPECT_EQ(platform::FileNameFromPath("app.ico"), "app.ico");
  EXPECT_EQ(platform::FileNameFromPath("C:\\tools\\"), "");
  EXPECT_EQ(platform::FileNameFromPath(""), "");
  EXPECT_EQ(platform::FileNameFromPath("C:\\\u8868\u793A\\\u30C6\u30B9\u30C8.ico"),
            "\u30C6\u30B9\u30C8.ico");
}

TEST(CProjectSettingsTest, StartsEmptyInEnglish) {
  const CProjectSettings a, b;
  EXPECT_TRUE(a.IsEqual(b));
  EXPECT_EQ(a.language, "en");
  EXPECT_FALSE(a.noquestions);
  EXPECT_EQ(a.GetFileCount(), 0);
  EXPECT_TRUE(a.icons.empty());
}

TEST(CProjectSettingsTest, SetPropertiesTakesItsArgumentsInTheirOwnOrder) {
  CProjectSettings project;
  project.language = "fr";
  project.AddFileEntry(test::FileEntry("a.exe"));
  project.SetProperties("title", "version", "product", "package", "upgrade", "author", "url",
                        "eula", "banner", "comments", true);
  EXPECT_EQ(project.title, "title");
  EXPECT_EQ(project.version, "version");
  EXPECT_EQ(project.productcode, "product");
  EXPECT_EQ(project.packagecode, "package");
  EXPECT_EQ(project.upgradecode, "upgrade");
  EXPECT_EQ(project.author, "author");
  EXPECT_EQ(project.supporturl, "url");
  EXPECT_EQ(project.eulafile, "eula");
  EXPECT_EQ(project.bannerfile, "banner");
  EXPECT_EQ(project.comments, "comments");
  EXPECT_TRUE(project.noquestions);
  EXPECT_EQ(project.language, "fr");
  EXPECT_EQ(project.GetFileCount(), 1);
}

TEST(CProjectSettingsTest, AddIconKeepsDistinctNonEmptyPathsWithTheirNames) {
  CProjectSettings project;
  EXPECT_EQ(project.AddIcon(""), 0);
  EXPECT_EQ(project.AddIcon("C:\\tools\\app.ico"), 1);
  EXPECT_EQ(project.AddIcon("app.ico"), 2);
  EXPECT_EQ(project.AddIcon("C:\\tools\\app.ico"), 2);
  EXPECT_EQ(project.AddIcon("C:\\TOOLS\\app.ico"), 3);
  EXPECT_EQ(project.AddIcon("C:\\tools\\"), 4);
  EXPECT_EQ(project.AddIcon(""), 4);
  EXPECT_EQ(IconNames(project), (std::vector<std::string>{"app.ico", "app.ico", "app.ico", ""}));
  EXPECT_EQ(project.icons[1].path, "app.ico");
}

TEST(CProjectSettingsTest, GetFileAndFindFileGiveCopiesOrDefaults) {
  CProjectSettings project;
  ProjectFileEntry first = test::FileEntry("C:\\a.exe");
  first.componentguid = "first";
  ProjectFileEntry second = test::FileEntry("C:\\a.exe");
  second.componentguid = "second";
  EXPECT_EQ(project.AddFileEntry(first), 1);
  EXPECT_EQ(project.AddFileEntry(second), 2);

  EXPECT_EQ(project.GetFile(1), second);
  EXPECT_EQ(project.GetFile(-1), ProjectFileEntry());
  EXPECT_EQ(project.GetFile(2), ProjectFileEntry());
  EXPECT_EQ(project.FindFile("C:\\a.exe"), first);
  EXPECT_EQ(project.FindFile("c:\\A.EXE"), ProjectFileEntry());

  ProjectFileEntry copy = project.GetFile(0);
  copy.path = "changed";
  EXPECT_EQ(project.files[0].path, "C:\\a.exe");
}

TEST(CProjectSettingsTest, ClearRemovesFilesAndIconsOnly) {
  CProjectSettings project;
  project.title = "Kept";
  project.projectPath = "/work/kept.kbr";
  project.AddFileEntry(test::FileEntry("a.exe"));
  project.AddIcon("a.ico");
  EXPECT_TRUE(project.Clear());
  EXPECT_EQ(project.GetFileCount(), 0);
  EXPECT_TRUE(project.icons.empty());
  EXPECT_EQ(project.title, "Kept");
  EXPECT_EQ(project.projectPath, "/work/kept.kbr");
}

TEST(CProjectSettingsTest, IsEqualIgnoresIconsAndPath) {
  CProjectSettings a, b;
  a.AddFileEntry(test::FileEntry("a.exe"));
  b.AddFileEntry(test::FileEntry("a.exe"));
  a.AddIcon("a.ico");
  b.projectPath = "/elsewhere.kbr";
  EXPECT_TRUE(a.IsEqual(b));
  EXPECT_TRUE(b.IsEqual(a));
}

// Every compared member, changed alone, makes two projects differ.
TEST(CProjectSettingsTest, IsEqualComparesEveryPropertyAndFileMember) {
  using Change = std::function<void(CProjectSettings&)>;
  const std::vector<Change> changes = {
      [](auto& p) { p.title = "x"; },
      [](auto& p) { p.version = "x"; },
      [](auto& p) { p.productcode = "x"; },
      [](auto& p) { p.packagecode = "x"; },
      [](auto& p) { p.upgradecode = "x"; },
      [](auto& p) { p.author = "x"; },
      [](auto& p) { p.supporturl = "x"; },
      [](auto& p) { p.comments = "x"; },
      [](auto& p) { p.eulafile = "x"; },
      [](auto& p) { p.language = "EN"; },
      [](auto& p) { p.bannerfile = "x"; },
      [](auto& p) { p.noquestions = true; },
      [](auto& p) { p.AddFileEntry(test::FileEntry("b.exe")); },
      [](auto& p) { p.files[0].path = "A.exe"; },
      [](auto& p) { p.files[0].shortcutname = "x"; },
      [](auto& p) { p.files[0].shortcuticon = "x"; },
      [](auto& p) { p.files[0].id = "x"; },
      [](auto& p) { p.files[0].componentid = "x"; },
      [](auto& p) { p.files[0].componentguid = "x"; },
      [](auto& p) { p.files[0].setkdir = true; },
  };
  for (std::size_t i = 0; i < changes.size(); ++i) {
    CProjectSettings a, b;
    a.AddFileEntry(test::FileEntry("a.exe"));
    b.AddFileEntry(test::FileEntry("a.exe"));
    changes[i](b);
    EXPECT_FALSE(a.IsEqual(b)) << "change " << i;
    EXPECT_FALSE(b.IsEqual(a)) << "change " << i;
  }
}

}  // namespace
}  // namespace kb

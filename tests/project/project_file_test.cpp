#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "project/file_contents.h"
#include "project/file_entry.h"
#include "project/numbering_gap.h"
#include "project/project_settings.h"
#include "test_support/temp_dir.h"

namespace kb {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> IconPaths(const CProjectSettings& project) {
  std::vector<std::string> paths;
  for (const ProjectIconEntry& icon : project.icons) paths.push_back(icon.path);
  return paths;
}

CProjectSettings SampleProject() {
  CProjectSettings project;
  project.title = "Sample";
  project.version = "1.0";
  ProjectFileEntry app = test::FileEntry("C:\\src\\app.exe");
  app.shortcutname = "Sample";
  app.shortcuticon = "C:\\src\\app.ico";
  project.AddFileEntry(app);
  project.AddIcon(app.shortcuticon);
  return project;
}

CProjectSettings Loaded(const fs::path& path) {
  CProjectSettings project;
  EXPECT_TRUE(project.Load(path.string()));
  return project;
}

// Saves `project` into `dir` and loads it back into a fresh object.
CProjectSettings RoundTrip(CProjectSettings project, const fs::path& dir) {
  EXPECT_TRUE(project.Save((dir / "p.kbr").string()));
  return Loaded(dir / "p.kbr");
}

void ExpectSameIcons(const CProjectSettings& a, const CProjectSettings& b) {
  EXPECT_EQ(IconPaths(a), IconPaths(b));
  for (std::size_t i = 0; i < std::min(a.icons.size(), b.icons.size()); ++i) {
    EXPECT_EQ(a.icons[i].name, b.icons[i].name);
  }
}

TEST(ProjectFileTest, WritesTheSampleProjectLineForLine) {
  test::TempDir dir;
  CProjectSettings project = SampleProject();
  ASSERT_TRUE(project.Save((dir.path() / "sample.kbr").string()));
  EXPECT_EQ(test::ReadBytes(dir.path() / "sample.kbr"),
            "[properties]\r\n"
            "title=Sample\r\n"
            "author=\r\n"
            "productcode=\r\n"
            "packagecode=\r\n"
            "upgradecode=\r\n"
            "version=1.0\r\n"
            "comments=\r\n"
            "supporturl=\r\n"
            "eulafile=\r\n"
            "language=en\r\n"
            "bannerfile=\r\n"
            "noquestions=false\r\n"
            "[files]\r\n"
            "file0path=C:\\src\\app.exe\r\n"
            "file0shortcutname=Sample\r\n"
            "file0shortcuticon=C:\\src\\app.ico\r\n"
            "[icons]\r\n"
            "icon0path=C:\\src\\app.ico\r\n");
  EXPECT_EQ(project.projectPath, (dir.path() / "sample.kbr").string());
}

TEST(ProjectFileTest, WritesOptionalKeysOnlyWhenSet) {
  test::TempDir dir;
  CProjectSettings project;
  project.noquestions = true;
  project.productcodeversion = "1.1";
  ProjectFileEntry full = test::FileEntry("full.exe");
  full.id = "_ID";
  full.componentid = "_COMP";
  full.componentguid = "GUID";
  full.setkdir = true;
  project.AddFileEntry(full);
  ASSERT_TRUE(project.Save((dir.path() / "p.kbr").string()));
  const std::string text = test::ReadBytes(dir.path() / "p.kbr");
  EXPECT_NE(text.find("noquestions=true\r\nproductcodeversion=1.1\r\n[files]\r\nfile0path=full."
                      "exe\r\nfile0id=_ID\r\n"
                      "file0componentid=_COMP\r\nfile0componentguid=GUID\r\nfile0setkdir=true\r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("[icons]"), std::string::npos);
  EXPECT_TRUE(Loaded(dir.path() / "p.kbr").IsEqual(project));

  project.files[0].setkdir = false;
  project.productcodeversion.clear();
  ASSERT_TRUE(project.Save(""));
  EXPECT_EQ(test::ReadBytes(dir.path() / "p.kbr").find("setkdir"), std::string::npos);
  EXPECT_EQ(test::ReadBytes(dir.path() / "p.kbr").find("productcodeversion"), std::string::npos);
}

// The install scope, the platform and the desktop shortcut: written only when not the default
// (so older projects save byte for byte as before), read back; a value this version does not
// know reads as the default.
TEST(ProjectFileTest, InstallChoicesAreKeysOfTheirOwn) {
  test::TempDir dir;
  const fs::path path = dir.path() / "p.kbr";
  const CProjectSettings before = SampleProject();
  ASSERT_TRUE(CProjectSettings(before).Save(path.string()));
  const std::string plain = test::ReadBytes(path);

  CProjectSettings project = SampleProject();
  project.installscope = InstallScope::kBoth;
  project.platform = TargetPlatform::kX64;
  project.files[0].desktopshortcut = true;
  project.addtopath = true;
  project.externalcabinets = true;
  project.files[0].extensions = ".abc;.abcd";
  project.files[0].extensiondescription = "Abc document";
  project.files[0].launchonexit = true;
  EXPECT_FALSE(project.IsEqual(before));
  ASSERT_TRUE(project.Save(path.string()));
  const std::string text = test::ReadBytes(path);
  EXPECT_NE(text.find("noquestions=false\r\ninstallscope=both\r\nplatform=x64\r\n"
                      "addtopath=true\r\nexternalcabinets=true\r\n[files]"),
            std::string::npos);
  EXPECT_NE(text.find("file0shortcuticon=C:\\src\\app.ico\r\nfile0extensions=.abc;.abcd\r\n"
                      "file0extensiondescription=Abc document\r\nfile0desktopshortcut=true\r\n"
                      "file0launchonexit=true\r\n"),
            std::string::npos)
      << text;
  EXPECT_TRUE(Loaded(path).IsEqual(project));

  std::string foreign = plain;
  foreign.insert(foreign.find("[files]"),
                 "installscope=galaxy\r\nplatform=arm64\r\naddtopath=maybe\r\n"
                 "externalcabinets=1\r\n");
  // Like the other flags of a file, only "true" itself sets it.
  foreign.insert(foreign.find("[icons]"), "file0launchonexit=TRUE\r\n");
  test::WriteBytes(path, foreign);
  const CProjectSettings unknown = Loaded(path);
  EXPECT_EQ(unknown.installscope, InstallScope::kMachine);
  EXPECT_EQ(unknown.platform, TargetPlatform::kX86);
  EXPECT_FALSE(unknown.addtopath);
  EXPECT_FALSE(unknown.files[0].launchonexit);
  EXPECT_FALSE(unknown.externalcabinets);
  ASSERT_TRUE(CProjectSettings(Loaded(path)).Save(path.string()));
  EXPECT_EQ(test::ReadBytes(path), plain);
}

TEST(ProjectFileTest, AProjectWithoutFilesHasOnlyProperties) {
  test::TempDir dir;
  const fs::path path = dir.path() / "p.kbr";
  CProjectSettings project = SampleProject();
  ASSERT_TRUE(project.Save(path.string()));
  project.Clear();
  ASSERT_TRUE(project.Save(""));
  const std::string text = test::ReadBytes(path);
  EXPECT_TRUE(text.starts_with("[properties]\r\n"));
  EXPECT_EQ(text.find("[files]"), std::string::npos);
  EXPECT_EQ(text.find("[icons]"), std::string::npos);
  const CProjectSettings loaded = Loaded(path);
  EXPECT_EQ(loaded.GetFileCount(), 0);
  EXPECT_TRUE(loaded.icons.empty());
  EXPECT_EQ(loaded.title, "Sample");
}

TEST(ProjectFileTest, ReadsHandWrittenFilesByTheProfileRules) {
  test::TempDir dir;
  const fs::path path = dir.path() / "hand.kbr";
  test::WriteBytes(path,
                   "[Properties]\r\n"
                   "Title = \"  Quoted Title  \"\r\n"
                   "AUTHOR='Jane'\r\n"
                   "author=Ignored\r\n"
                   "noquestions=TRUE\r\n"
                   "[files]\r\n"
                   "file0path=C:\\first.exe\r\n"
                   "file0setkdir=TRUE\r\n"
                   "file2path=C:\\after-a-gap.exe\r\n"
                   "[icons]\r\n"
                   "icon0path=C:\\app.ico\r\n"
                   "icon1path=C:\\app.ico\r\n"
                   "icon2path=C:\\other.ico\r\n");
  const CProjectSettings project = Loaded(path);
  EXPECT_EQ(project.title, "  Quoted Title  ");
  EXPECT_EQ(project.author, "Jane");
  EXPECT_EQ(project.language, "");
  EXPECT_TRUE(project.noquestions);
  ASSERT_EQ(project.GetFileCount(), 1);
  EXPECT_EQ(project.files[0].path, "C:\\first.exe");
  EXPECT_FALSE(project.files[0].setkdir);
  EXPECT_EQ(IconPaths(project), (std::vector<std::string>{"C:\\app.ico", "C:\\other.ico"}));
  EXPECT_EQ(project.icons[1].name, "other.ico");
}

TEST(ProjectFileTest, ReadsProjectsWrittenOnWindowsAsWindows1252) {
  test::TempDir dir;
  const fs::path path = dir.path() / "windows.kbr";
  test::WriteBytes(path,
                   "[properties]\r\ntitle=Caf\xE9 \x80\r\nauthor=Fran\xC3\xA7ois\r\n"
                   "[files]\r\nfile0path=C:\\Programme\\M\xFCller.exe\r\n");
  const CProjectSettings project = Loaded(path);
  EXPECT_EQ(project.title, "Caf\u00E9 \u20AC");
  EXPECT_EQ(project.author, "Fran\u00E7ois");
  EXPECT_EQ(project.GetFile(0).path, "C:\\Programme\\M\u00FCller.exe");
}

TEST(ProjectFileTest, LoadingAMissingFileGivesAnEmptyProject) {
  test::TempDir dir;
  CProjectSettings project = SampleProject();
  project.noquestions = true;
  EXPECT_TRUE(project.Load((dir.path() / "missing.kbr").string()));
  EXPECT_EQ(project.title, "");
  EXPECT_EQ(project.language, "");
  EXPECT_FALSE(project.noquestions);
  EXPECT_EQ(project.GetFileCount(), 0);
  EXPECT_TRUE(project.icons.empty());
  EXPECT_EQ(project.projectPath, (dir.path() / "missing.kbr").string());
}

TEST(ProjectFileTest, AnEmptyPathMeansTheProjectPath) {
  test::TempDir dir;
  CProjectSettings project = SampleProject();
  EXPECT_FALSE(project.Save(""));
  project.projectPath = (dir.path() / "p.kbr").string();
  ASSERT_TRUE(project.Save(""));
  CProjectSettings loaded;
  loaded.projectPath = project.projectPath;
  EXPECT_TRUE(loaded.Load(""));
  EXPECT_TRUE(loaded.IsEqual(project));
}

TEST(ProjectFileTest, RoundTripsAwkwardTexts) {
  const std::vector<std::string> texts = {
      "",
      "a=b=c",
      " leading",
      "trailing\t",
      "  both  ",
      "\"quoted\"",
      "'single'",
      "\"",
      "''",
      "\"half",
      "it's \"inner\"",
      "\" spaced and quoted \"",
      "[files]",
      "; not a comment",
      "C:\\Program Files\\My Tool\\tool.exe",
      "/home/user/My Projects/tool",
      "Caf\u00E9 \u2014 \u65E5\u672C\u8A9E \U0001F600",
      "\u20AC\u0153",
  };
  test::TempDir dir;
  for (const std::string& text : texts) {
    CProjectSettings project;
    project.SetProperties(text, text, text, text, text, text, text, text, text, text, false);
    project.language = text;
    ProjectFileEntry entry{"path " + text, text, text, text, text, text,
                           true,           true, text, text, text, true};
    project.AddFileEntry(entry);
    project.AddIcon(text);
    const CProjectSettings loaded = RoundTrip(project, dir.path());
    EXPECT_TRUE(loaded.IsEqual(project)) << "text [" << text << "]";
    EXPECT_EQ(loaded.title, text);
    ExpectSameIcons(loaded, project);
  }
}

std::string RandomText(std::mt19937& random) {
  static const std::vector<std::string> pieces = {
      " ", "\t", "\v", "\"", "'",    "=",      "[",      "]",      ";",          "\\",        "/",
      "a", "Z",  "0",  ".",  "true", "\u00E9", "\u20AC", "\u65E5", "\U0001F600", "file0path", "#"};
  std::uniform_int_distribution<std::size_t> length(0, 12), piece(0, pieces.size() - 1);
  std::string text;
  for (std::size_t n = length(random); n > 0; --n) text += pieces[piece(random)];
  return text;
}

CProjectSettings RandomProject(std::mt19937& random) {
  const auto text = [&random] { return RandomText(random); };
  CProjectSettings project;
  project.SetProperties(text(), text(), text(), text(), text(), text(), text(), text(), text(),
                        text(), random() % 2 == 0);
  project.language = text();
  project.productcodeversion = text();
  project.installscope = static_cast<InstallScope>(random() % 3);
  project.platform = static_cast<TargetPlatform>(random() % 2);
  project.signcertificate = text();
  project.timestampurl = text();
  project.compression = text();
  project.addtopath = random() % 2 == 0;
  project.externalcabinets = random() % 2 == 0;
  for (int n = random() % 4; n > 0; --n) {
    project.AddFileEntry({"p" + text(), text(), text(), text(), text(), text(), random() % 2 == 0,
                          random() % 2 == 0, text(), text(), text(), random() % 2 == 0});
    project.AddIcon(text());
  }
  return project;
}

TEST(ProjectFileTest, RoundTripsRandomProjects) {
  test::TempDir dir;
  std::mt19937 random(1951);
  for (int round = 0; round < 300; ++round) {
    const CProjectSettings project = RandomProject(random);
    const CProjectSettings loaded = RoundTrip(project, dir.path());
    ASSERT_TRUE(loaded.IsEqual(project))
        << "round " << round << ": " << test::ReadBytes(dir.path() / "p.kbr");
    ExpectSameIcons(loaded, project);
  }
}

TEST(ProjectFileTest, EntriesWithoutAPathDoNotCutTheList) {
  test::TempDir dir;
  CProjectSettings project;
  project.AddFileEntry(test::FileEntry("first.exe"));
  ProjectFileEntry unnamed;
  unnamed.shortcutname = "No path";
  project.AddFileEntry(unnamed);
  project.AddFileEntry(test::FileEntry("third.exe"));
  project.icons = {{"", ""}, {"b.ico", "b.ico"}};

  const CProjectSettings loaded = RoundTrip(project, dir.path());
  ASSERT_EQ(loaded.GetFileCount(), 2);
  EXPECT_EQ(loaded.files[0].path, "first.exe");
  EXPECT_EQ(loaded.files[1].path, "third.exe");
  EXPECT_EQ(IconPaths(loaded), std::vector<std::string>{"b.ico"});
  const std::string text = test::ReadBytes(dir.path() / "p.kbr");
  EXPECT_NE(text.find("file1path=third.exe\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("No path"), std::string::npos) << text;
}

TEST(ProjectFileTest, LineBreaksInAValueCannotAddKeys) {
  test::TempDir dir;
  CProjectSettings project;
  project.title = "Title\r\n[files]\r\nfile0path=injected.exe";
  const CProjectSettings loaded = RoundTrip(project, dir.path());
  EXPECT_EQ(loaded.GetFileCount(), 0);
  EXPECT_EQ(loaded.title, "Title  [files]  file0path=injected.exe");
}

TEST(ProjectFileTest, SavingOverAnOldFileReplacesItWhole) {
  test::TempDir dir;
  const fs::path path = dir.path() / "p.kbr";
  test::WriteBytes(path, "[icons]\r\nicon0path=old.ico\r\n[extra]\r\nkey=value\r\n");
  CProjectSettings project;
  ASSERT_TRUE(project.Save(path.string()));
  const std::string text = test::ReadBytes(path);
  EXPECT_EQ(text.find("icons"), std::string::npos) << text;
  EXPECT_EQ(text.find("extra"), std::string::npos) << text;
}

TEST(ProjectFileTest, SavingIntoAMissingFolderFails) {
  test::TempDir dir;
  CProjectSettings project = SampleProject();
  EXPECT_FALSE(project.Save((dir.path() / "missing" / "p.kbr").string()));
  EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

// Saving through a link (a chain of them, relative and absolute) replaces the file at its end,
// beside that file; the links stay links. A loop of links fails the save.
TEST(ProjectFileTest, SavingThroughASymbolicLinkWritesItsTarget) {
  test::TempDir dir;
  fs::create_directories(dir.path() / "real" / "deep");
  fs::create_directories(dir.path() / "links");
  const fs::path target = dir.path() / "real" / "deep" / "p.kbr";
  test::WriteBytes(target, "[properties]\r\ntitle=Old\r\n");
  fs::create_symlink("deep/p.kbr", dir.path() / "real" / "near.kbr");
  fs::create_symlink(dir.path() / "real" / "near.kbr", dir.path() / "links" / "p.kbr");
  fs::create_symlink("../real/deep/new.kbr", dir.path() / "links" / "dangling.kbr");

  CProjectSettings project = SampleProject();
  ASSERT_TRUE(project.Save((dir.path() / "links" / "p.kbr").string()));
  ASSERT_TRUE(project.Save((dir.path() / "links" / "dangling.kbr").string()));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "links" / "p.kbr"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "real" / "near.kbr"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "links" / "dangling.kbr"));
  EXPECT_EQ(Loaded(target).title, "Sample");
  EXPECT_EQ(Loaded(dir.path() / "real" / "deep" / "new.kbr").title, "Sample");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "links"), {}), 2)
      << "no temporary beside the link";

  fs::create_symlink("loop-b.kbr", dir.path() / "loop-a.kbr");
  fs::create_symlink("loop-a.kbr", dir.path() / "loop-b.kbr");
  EXPECT_FALSE(project.Save((dir.path() / "loop-a.kbr").string()));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "loop-a.kbr"));
}

// The keys that a reader never reaches because a number before them is missing are named; a
// list without a gap gives no warning.
TEST(ProjectFileTest, AGapInTheNumberingNamesTheKeysItHides) {
  struct Case {
    const char* text;
    const char* warning;  // after the path; "" for none
  };
  const Case cases[] = {
      {"[files]\nfile0path=a\nfile1path=b\n[icons]\nicon0path=i\n", ""},
      {"[files]\nfile0path=a\nfile01path=x\nfile0x=y\n", ""},
      {"[files]\nfile0path=a\nfile2path=c\nfile2id=C\nfile3setkdir=true\n",
       " stops at file1path, so these keys are ignored: file2id, file2path, file3setkdir"},
      {"[files]\nfile0path=\nfile0id=A\nfile1path=b\n",
       " stops at file0path, so these keys are ignored: file0id, file1path"},
      {"[files]\nfile0path=a\n[icons]\nicon1path=i\nicon99999999999999999999999path=j\n",
       " stops at icon0path, so these keys are ignored: icon1path, "
       "icon99999999999999999999999path"},
      {"[files]\nfile1path=b\n[icons]\nicon2path=i\n",
       " stops at file0path, so these keys are ignored: file1path; it stops at icon0path, so "
       "these keys are ignored: icon2path"},
  };
  test::TempDir dir;
  const fs::path path = dir.path() / "p.kbr";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    test::WriteBytes(path, c.text);
    const std::optional<std::string> warning = NumberingGapWarning(path.string());
    if (*c.warning == '\0') {
      EXPECT_EQ(warning, std::nullopt);
    } else {
      EXPECT_EQ(warning, path.string() + c.warning);
    }
  }
  std::string many = "[files]\nfile0path=a\n";
  for (int i = 2; i < 20; ++i) many += "file" + std::to_string(i) + "path=x\n";
  test::WriteBytes(path, many);
  EXPECT_EQ(NumberingGapWarning(path.string()),
            path.string() +
                " stops at file1path, so these keys are ignored: file10path, file11path, "
                "file12path, file13path, file14path, file15path, file16path, file17path, "
                "file18path, file19path and 8 more");
}

// Root may write anywhere, so the refused save runs in a child process that has given up its
// privileges; the folder is read-only for everyone but its owner, root.
TEST(ProjectFileTest, ARefusedSaveFailsAndKeepsTheOldFile) {
  test::TempDir dir;
  const fs::path path = dir.path() / "p.kbr";
  CProjectSettings project = SampleProject();
  ASSERT_TRUE(project.Save(path.string()));
  const std::string before = test::ReadBytes(path);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);

  project.title = "Changed";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    const bool dropped = ::geteuid() != 0 || (::setgid(kNobody) == 0 && ::setuid(kNobody) == 0);
    ::_exit(!dropped ? 2 : project.Save("") ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::chmod(dir.path().c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the save reported success, 2: could not drop root";
  EXPECT_EQ(test::ReadBytes(path), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace kb

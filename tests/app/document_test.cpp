// New, Open, Save and the save prompt, driven through the program's menus and keys.
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QLineEdit>
#include <QSettings>
#include <filesystem>

#include "app/desktop_fixture.h"
#include "app/kitbinder_app.h"
#include "app/main_frame.h"
#include "framework/standard_ids.h"
#include "project/project_settings.h"
#include "test_support/run_command.h"
#include "test_support/text_file.h"
#include "ui/file_list_ctrl.h"
#include "ui/kitbinder_doc.h"
#include "ui/kitbinder_view.h"

namespace kb::test {
namespace {

class DocumentTest : public DesktopTest {
 protected:
  // A project file with a title, a language and two files.
  std::string WriteProject(const std::string& name, const std::string& title) {
    CProjectSettings project;
    project.title = title;
    project.version = "1.0";
    project.language = "fr";
    project.AddFileEntry({.path = "a.exe",
                          .shortcutname = "A",
                          .shortcuticon = "",
                          .id = "",
                          .componentid = "",
                          .componentguid = "",
                          .setkdir = true,
                          .shortcuttarget = "",
                          .extensions = "",
                          .extensiondescription = "",
                          .launchonexit = false});
    project.AddFileEntry({.path = "b.txt",
                          .shortcutname = "",
                          .shortcuticon = "",
                          .id = "",
                          .componentid = "",
                          .componentguid = "",
                          .setkdir = false,
                          .shortcuttarget = "",
                          .extensions = "",
                          .extensiondescription = "",
                          .launchonexit = false});
    const std::string path = Path(name);
    EXPECT_TRUE(project.Save(path));
    return path;
  }
};

TEST_F(DocumentTest, StartsUntitledAndCountsChangesByComparison) {
  ASSERT_TRUE(Start());
  EXPECT_EQ(frame().windowTitle(), "Untitled - kitbinder");
  EXPECT_FALSE(doc().IsModified());
  ClickTab(1);
  Type(view().titleBox, "Tool");
  EXPECT_TRUE(doc().IsModified());
  Type(view().titleBox, "");
  EXPECT_FALSE(doc().IsModified()) << "a change undone is no change";
}

TEST_F(DocumentTest, OpenShowsTheProjectAndFollowsItsFolder) {
  const std::string path = WriteProject("tool.kbr", "Tool");
  ASSERT_TRUE(Start());
  dialogs.Answer(path);
  Press(QKeySequence("Ctrl+O"));
  EXPECT_EQ(dialogs.filters.back(), "kitbinder Files (*.kbr)");
  EXPECT_EQ(frame().windowTitle(), "tool.kbr - kitbinder");
  EXPECT_EQ(view().titleBox->text(), "Tool");
  EXPECT_EQ(view().fileList->RowCount(), 2);
  EXPECT_EQ(view().fileList->ItemText(0, 4), "1");
  EXPECT_EQ(view().projectFolder, folder.path().string());
  EXPECT_FALSE(doc().IsModified());
  QSettings settings("kitbinder", "kitbinder");
  EXPECT_EQ(settings.value("Recent File List/File1").toString().toStdString(), path);
  EXPECT_TRUE(boxes->texts.empty());
}

TEST_F(DocumentTest, SavePromptCancelKeepsTheEditsAndNoDiscardsThem) {
  const std::string path = WriteProject("tool.kbr", "Tool");
  ASSERT_TRUE(Start());
  ClickTab(1);
  Type(view().titleBox, "Edited");
  boxes->Answer(QMessageBox::Cancel);
  dialogs.Answer(path);
  Choose(ID_FILE_OPEN);
  ASSERT_EQ(boxes->texts.size(), 1u);
  EXPECT_EQ(boxes->texts[0], "Save changes to Untitled?");
  EXPECT_EQ(view().titleBox->text(), "Edited");

  boxes->Answer(QMessageBox::No);
  Press(QKeySequence("Ctrl+N"));
  EXPECT_EQ(view().titleBox->text(), "");
  EXPECT_FALSE(doc().IsModified());
}

TEST_F(DocumentTest, AFailedSaveSaysSoAndLosesNothing) {
  ASSERT_TRUE(Start());
  ClickTab(1);
  Type(view().titleBox, "Tool");
  const std::string unwritable = Path("missing-folder/tool.kbr");
  dialogs.Answer(unwritable);
  boxes->Answer(QMessageBox::Yes);  // save at the prompt ...
  Press(QKeySequence("Ctrl+N"));    // ... of a New, which the failed save must cancel
  ASSERT_EQ(boxes->texts.size(), 2u);
  EXPECT_TRUE(boxes->texts[1].contains(QString::fromStdString(unwritable)))
      << boxes->texts[1].toStdString();
  EXPECT_EQ(view().titleBox->text(), "Tool");
  EXPECT_TRUE(doc().IsModified());
  EXPECT_EQ(frame().windowTitle(), "Untitled - kitbinder");
  EXPECT_FALSE(std::filesystem::exists(unwritable));
}

TEST_F(DocumentTest, OpeningAMissingFileKeepsAnUnchangedProjectButNotOneTheUserGaveUp) {
  const std::string path = WriteProject("tool.kbr", "Tool");
  const std::string missing = Path("missing.kbr");
  ASSERT_TRUE(Start());
  dialogs.Answer(path);
  Press(QKeySequence("Ctrl+O"));
  dialogs.Answer(missing);
  Press(QKeySequence("Ctrl+O"));
  ASSERT_EQ(boxes->texts.size(), 1u);
  EXPECT_TRUE(boxes->texts[0].startsWith("Cannot open " + QString::fromStdString(missing)))
      << boxes->texts[0].toStdString();
  EXPECT_EQ(frame().windowTitle(), "tool.kbr - kitbinder");
  EXPECT_EQ(doc().GetPathName(), QString::fromStdString(path));
  EXPECT_EQ(view().titleBox->text(), "Tool");

  ClickTab(1);
  Type(view().titleBox, "Edited");
  boxes->Answer(QMessageBox::No);
  dialogs.Answer(missing);
  Press(QKeySequence("Ctrl+O"));
  ASSERT_EQ(boxes->texts.size(), 3u);
  EXPECT_EQ(boxes->texts[1], "Save changes to " + QString::fromStdString(path) + "?");
  EXPECT_TRUE(boxes->texts[2].startsWith("Cannot open "));
  EXPECT_EQ(frame().windowTitle(), "Untitled - kitbinder");
  EXPECT_EQ(doc().GetPathName(), "");
  EXPECT_EQ(view().titleBox->text(), "");
  EXPECT_EQ(view().fileList->RowCount(), 0);
  EXPECT_EQ(view().projectFolder, "");
  EXPECT_FALSE(doc().IsModified());
}

// The first line kitbinder-cli writes on stderr when it refuses to build `project`.
QString CliRefusal(const std::string& project) {
  int status = 0;
  const std::string output = RunCommand(
      std::string(KITBINDER_BIN_DIR) + "/kitbinder-cli build '" + project + "' 2>&1 >/dev/null",
      &status);
  EXPECT_EQ(status, 2) << output;
  const std::string prefix = "kitbinder-cli: ";
  EXPECT_TRUE(output.starts_with(prefix)) << output;
  return QString::fromStdString(output.substr(prefix.size(), output.find('\n') - prefix.size()));
}

// A UTF-16 project file would open as an empty project that Save then writes over it, and a
// named pipe would hang the program: both are refused with kitbinder-cli's words, and the open
// project stays, its file untouched.
TEST_F(DocumentTest, AFileThatIsNoProjectIsRefusedAsTheCliRefusesIt_AndTheProjectStays) {
  const std::string path = WriteProject("tool.kbr", "Tool");
  const std::string utf16 = WriteFile("wide.kbr", std::string("\xFF\xFE[\0p\0]\0\r\0\n\0", 12));
  const std::string pipe = Path("pipe.kbr");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  ASSERT_TRUE(Start());
  dialogs.Answer(path);
  Press(QKeySequence("Ctrl+O"));
  ClickTab(1);
  Type(view().titleBox, "Edited");
  for (const std::string& refused : {utf16, pipe}) {
    SCOPED_TRACE(refused);
    boxes->Answer(QMessageBox::No);  // to the save prompt
    dialogs.Answer(refused);
    Press(QKeySequence("Ctrl+O"));
    ASSERT_GE(boxes->texts.size(), 2u);
    EXPECT_EQ(boxes->texts.back(), CliRefusal(refused));
    EXPECT_EQ(frame().windowTitle(), "Untitled - kitbinder") << "the edits given up went";
    EXPECT_EQ(doc().GetPathName(), "");
    EXPECT_TRUE(app().RecentFiles().contains(QString::fromStdString(path)));
    EXPECT_FALSE(app().RecentFiles().contains(QString::fromStdString(refused)));
    ClickTab(1);
    Type(view().titleBox, "Edited");
  }
  EXPECT_EQ(ReadText(utf16).size(), 12u);

  // With nothing to give up, the open project stays as it was.
  boxes->Answer(QMessageBox::No);
  dialogs.Answer(path);
  Press(QKeySequence("Ctrl+O"));
  const std::size_t shown = boxes->texts.size();
  dialogs.Answer(utf16);
  Press(QKeySequence("Ctrl+O"));
  ASSERT_EQ(boxes->texts.size(), shown + 1);
  EXPECT_EQ(frame().windowTitle(), "tool.kbr - kitbinder");
  EXPECT_EQ(view().titleBox->text(), "Tool");
}

TEST_F(DocumentTest, OpenNamesTheKeysAGapInTheNumberingHides) {
  const std::string path = WriteFile("gap.kbr",
                                     "[properties]\r\ntitle=Gap\r\n[files]\r\nfile0path=a.exe\r\n"
                                     "file2path=c.exe\r\n[icons]\r\nicon0path=a.ico\r\n");
  ASSERT_TRUE(Start());
  dialogs.Answer(path);
  Press(QKeySequence("Ctrl+O"));
  EXPECT_EQ(boxes->texts, std::vector<QString>{QString::fromStdString(
                              path + " stops at file1path, so these keys are ignored: file2path")});
  EXPECT_EQ(frame().windowTitle(), "gap.kbr - kitbinder");
  EXPECT_EQ(view().fileList->RowCount(), 1);
}

// The inputs the project file's fuzzing found faults with open in the form like any project:
// no crash, no hang, every file the project lists on the list.
TEST_F(DocumentTest, OpensEveryProjectFileFuzzInput) {
  ASSERT_TRUE(Start());
  const std::filesystem::path corpus =
      std::filesystem::path(KITBINDER_SOURCE_DIR) / "tests" / "fuzz" / "corpus" / "project_file";
  int opened = 0;
  for (const auto& input : std::filesystem::directory_iterator(corpus)) {
    SCOPED_TRACE(input.path().string());
    const std::string path = WriteFile(input.path().filename().string(), ReadText(input.path()));
    CProjectSettings project;
    project.Load(path);
    // A form that cannot show a value as read (a language it does not list) counts as changed.
    if (doc().IsModified()) boxes->Answer(QMessageBox::No);
    const std::size_t shown = boxes->texts.size() + (doc().IsModified() ? 1 : 0);
    dialogs.Answer(path);
    Press(QKeySequence("Ctrl+O"));
    EXPECT_EQ(frame().windowTitle(),
              QString::fromStdString(input.path().filename().string() + " - kitbinder"));
    EXPECT_EQ(view().fileList->RowCount(), project.GetFileCount());
    EXPECT_LE(boxes->texts.size(), shown + 1) << "at most the warning of a gap";
    ++opened;
  }
  EXPECT_GE(opened, 4);
}

TEST_F(DocumentTest, OpeningTheOpenProjectAgainKeepsTheEdits_ButAnotherFileOpens) {
  const std::string path = WriteProject("tool.kbr", "Tool");
  ASSERT_TRUE(Start());
  dialogs.Answer(path);
  Press(QKeySequence("Ctrl+O"));
  ClickTab(1);
  Type(view().titleBox, "Edited");
  WriteProject("tool.kbr", "Changed on disk");

  std::string upper = path;
  upper.replace(upper.size() - 8, 8, "TOOL.KBR");
  for (const std::string& spelling : {path, upper}) {
    dialogs.Answer(spelling);
    Press(QKeySequence("Ctrl+O"));
  }
  EXPECT_TRUE(boxes->texts.empty()) << "no prompt, no message";
  EXPECT_EQ(view().titleBox->text(), "Edited") << "the file was read again";
  EXPECT_EQ(doc().GetPathName(), QString::fromStdString(path));

  // Here letters of another case make another name, which may be another project.
  const std::string other = WriteProject("Tool.kbr", "Other");
  boxes->Answer(QMessageBox::No);
  dialogs.Answer(other);
  Press(QKeySequence("Ctrl+O"));
  EXPECT_EQ(boxes->texts.size(), 1u);
  EXPECT_EQ(frame().windowTitle(), "Tool.kbr - kitbinder");
  EXPECT_EQ(view().titleBox->text(), "Other");
}

TEST_F(DocumentTest, SaveNamesAnUntitledProjectAfterItsFileAndMovesToItsFolder) {
  std::filesystem::create_directories(Path("work"));
  std::filesystem::create_directories(Path("other"));
  ASSERT_TRUE(Start());
  ClickTab(2);
  Type(view().authorBox, "Me");
  const std::string mytool = Path("work/mytool.kbr");
  dialogs.Answer(mytool);
  Press(QKeySequence("Ctrl+S"));
  ASSERT_EQ(dialogs.proposed.size(), 1u);
  EXPECT_EQ(dialogs.proposed[0], QDir::current().filePath("Untitled.kbr"))
      << "no project chosen yet: the folder the program started in";
  EXPECT_EQ(dialogs.titles.back(), "Save the project as");
  EXPECT_EQ(dialogs.filters.back(), "kitbinder Files (*.kbr)");
  EXPECT_EQ(view().titleBox->text(), "mytool");
  EXPECT_EQ(frame().windowTitle(), "mytool.kbr - kitbinder");
  EXPECT_EQ(view().projectFolder, Path("work"));
  EXPECT_FALSE(doc().IsModified());
  CProjectSettings saved;
  saved.Load(mytool);
  EXPECT_EQ(saved.title, "mytool");
  EXPECT_EQ(saved.author, "Me");

  // Save As with a title: the title stays; the name, folder and recent files follow the file.
  ClickTab(1);
  Type(view().titleBox, "Named");
  const std::string named = Path("other/x.kbr");
  dialogs.Answer(named);
  Choose(ID_FILE_SAVE_AS);
  EXPECT_EQ(view().titleBox->text(), "Named");
  EXPECT_EQ(frame().windowTitle(), "x.kbr - kitbinder");
  EXPECT_EQ(view().projectFolder, Path("other"));
  EXPECT_EQ(app().RecentFiles(),
            QStringList({QString::fromStdString(named), QString::fromStdString(mytool)}));
  EXPECT_EQ(ReadText(mytool).find("Named"), std::string::npos) << "Save As wrote the old file";

  // Only the file's own name counts: a dotted folder gives no title.
  std::filesystem::create_directories(Path("v1.2"));
  Press(QKeySequence("Ctrl+N"));
  ClickTab(2);
  Type(view().authorBox, "Me");
  dialogs.Answer(Path("v1.2/noextension"));
  Press(QKeySequence("Ctrl+S"));
  EXPECT_EQ(view().titleBox->text(), "");
  EXPECT_EQ(frame().windowTitle(), "noextension - kitbinder");
}

TEST_F(DocumentTest, AFailedSaveKeepsTheOpenProjectsNameAndRecentFilesAndStopsTheOpen) {
  const std::string path = WriteProject("tool.kbr", "Tool");
  const std::string next = WriteProject("next.kbr", "Next");
  ASSERT_TRUE(Start());
  dialogs.Answer(path);
  Press(QKeySequence("Ctrl+O"));
  ClickTab(1);
  Type(view().titleBox, "Edited");

  // Save As into a "folder" that is a file.
  const std::string under_a_file = path + "/copy.kbr";
  dialogs.Answer(under_a_file);
  Choose(ID_FILE_SAVE_AS);
  ASSERT_EQ(boxes->texts.size(), 1u);
  EXPECT_TRUE(boxes->texts[0].contains(QString::fromStdString(under_a_file)))
      << boxes->texts[0].toStdString();
  EXPECT_EQ(doc().GetPathName(), QString::fromStdString(path));
  EXPECT_EQ(frame().windowTitle(), "tool.kbr - kitbinder");
  EXPECT_EQ(app().RecentFiles(), QStringList{QString::fromStdString(path)});
  EXPECT_EQ(view().titleBox->text(), "Edited");
  EXPECT_TRUE(doc().IsModified());

  // Yes at the prompt of an Open, but the project's own file cannot be replaced: no Open.
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  boxes->Answer(QMessageBox::Yes);
  dialogs.Answer(next);
  Press(QKeySequence("Ctrl+O"));
  ASSERT_EQ(boxes->texts.size(), 3u);
  EXPECT_TRUE(boxes->texts[2].startsWith("Cannot save " + QString::fromStdString(path)))
      << boxes->texts[2].toStdString();
  EXPECT_EQ(frame().windowTitle(), "tool.kbr - kitbinder");
  EXPECT_EQ(view().titleBox->text(), "Edited");

  // Once the file can be written, Yes saves and the Open goes on.
  std::filesystem::remove(path);
  WriteProject("tool.kbr", "Tool");
  boxes->Answer(QMessageBox::Yes);
  dialogs.Answer(next);
  Press(QKeySequence("Ctrl+O"));
  EXPECT_EQ(frame().windowTitle(), "next.kbr - kitbinder");
  CProjectSettings saved;
  saved.Load(path);
  EXPECT_EQ(saved.title, "Edited");
}

}  // namespace
}  // namespace kb::test

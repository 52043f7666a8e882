// New, Open, Save and the save prompt, driven through the program's menus and keys.
#include <unistd.h>

#include <QLineEdit>
#include <QSettings>
#include <filesystem>

#include "app/desktop_fixture.h"
#include "app/framework/standard_ids.h"
#include "app/kitbinder_app.h"
#include "app/kitbinder_doc.h"
#include "app/main_frame.h"
#include "project/project_settings.h"
#include "test_support/text_file.h"
#include "ui/file_list_ctrl.h"
#include "ui/kitbinder_view.h"

namespace kb::test {
namespace {

std::string CurrentFolder() {
  return std::filesystem::current_path().string();
}

class DocumentTest : public DesktopTest {
 protected:
  // A project file with a title, a language and two files.
  std::string WriteProject(const std::string& name, const std::string& title) {
    CProjectSettings project;
    project.title = title;
    project.version = "1.0";
    project.language = "fr";
    project.AddFileEntry({.path = "a.exe", .shortcutname = "A", .shortcuticon = "", .id = "",
                          .componentid = "", .componentguid = "", .setkdir = true});
    project.AddFileEntry({.path = "b.txt", .shortcutname = "", .shortcuticon = "", .id = "",
                          .componentid = "", .componentguid = "", .setkdir = false});
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
  EXPECT_EQ(CurrentFolder(), folder.path().string());
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
  EXPECT_TRUE(boxes->texts[1].contains(QString::fromStdString(unwritable))) << boxes->texts[1].toStdString();
  EXPECT_EQ(view().titleBox->text(), "Tool");
  EXPECT_TRUE(doc().IsModified());
  EXPECT_EQ(frame().windowTitle(), "Untitled - kitbinder");
  EXPECT_FALSE(std::filesystem::exists(unwritable));
}

}  // namespace
}  // namespace kb::test

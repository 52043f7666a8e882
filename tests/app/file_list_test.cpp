// The "Files to Install" page as a user works it: drops from the desktop, the Add, Remove and
// Properties buttons, the Delete and Enter keys, double clicks, and the File Properties dialog.
#include <gmock/gmock.h>

#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <functional>

#include "app/desktop_fixture.h"
#include "app/main_frame.h"
#include "project/project_settings.h"
#include "ui/file_list_ctrl.h"
#include "ui/file_properties_dlg.h"
#include "ui/kitbinder_view.h"

namespace kb::test {
namespace {

// Answers the File Properties dialog when it opens: runs `answer` on it once (which must close
// it). Tells whether it opened and what it showed on opening.
class PropertiesDialogAnswer {
 public:
  explicit PropertiesDialogAnswer(std::function<void(CFilePropertiesDlg&)> answer)
      : answer_(std::move(answer)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(10);
  }

  bool opened = false;
  QString shownSource;  // the source box's text as the dialog opened

 private:
  void Poll() {
    auto* dialog = dynamic_cast<CFilePropertiesDlg*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible() || opened) return;
    opened = true;
    shownSource = dialog->sourceBox->text();
    timer_.stop();
    answer_(*dialog);
  }

  std::function<void(CFilePropertiesDlg&)> answer_;
  QTimer timer_;
};

void Cancel(CFilePropertiesDlg& dialog) {
  QTest::mouseClick(dialog.cancelButton, Qt::LeftButton);
}

class FileListTest : public DesktopTest {
 protected:
  CFileListCtrl& list() const { return *view().fileList; }

  // Drags `urls` over the list and drops them, as the desktop's file manager does, and lets
  // the program handle the drop. Returns whether the list took the drag.
  bool Drop(const QList<QUrl>& urls) const {
    QMimeData data;
    data.setUrls(urls);
    QWidget* target = list().viewport();
    const QPoint centre = target->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDragMoveEvent move(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QCoreApplication::processEvents();
    return move.isAccepted() && drop.isAccepted();
  }

  static QUrl Url(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path));
  }

  std::string File(const std::string& name) const { return WriteFile(name, "contents"); }

  // Column `column` of every row, from the top.
  QStringList Column(int column = 0) const {
    QStringList texts;
    for (int row = 0; row < list().RowCount(); ++row) texts.append(list().ItemText(row, column));
    return texts;
  }

  static QStringList Q(std::initializer_list<std::string> paths) {
    QStringList texts;
    for (const std::string& path : paths) texts.append(QString::fromStdString(path));
    return texts;
  }

  QPoint RowCentre(int row) const {
    return list().visualItemRect(list().topLevelItem(row)).center();
  }
  void ClickRow(int row) const {
    QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, RowCentre(row));
  }
  void DoubleClickAt(const QPoint& place) const {
    QTest::mouseDClick(list().viewport(), Qt::LeftButton, {}, place);
  }

  // Saves the project as `name` with Ctrl+S and reads the saved file back.
  CProjectSettings SaveAndReload(const std::string& name) {
    dialogs.Answer(Path(name));
    Press(QKeySequence("Ctrl+S"));
    CProjectSettings saved;
    EXPECT_TRUE(std::filesystem::exists(Path(name)));
    saved.Load(Path(name));
    return saved;
  }
};

TEST_F(FileListTest, DropsAddAtTheTopAndRefuseWhatTheListCannotTake) {
  const std::string a = File("a.txt"), b = File("b.txt"), c = File("c.txt");
  const std::string upper_a = File("A.txt");  // another file, the same name ignoring case
  const std::string target = File("target.exe");
  const std::string link = Path("link.exe");
  std::filesystem::create_symlink(target, link);
  const std::string sub = Path("sub");
  std::filesystem::create_directory(sub);
  const std::string broken = File("bad\nname.txt");
  const std::string d = File("d.txt");
  ASSERT_TRUE(Start());

  ASSERT_TRUE(Drop({Url(a), Url(b), Url(c)}));
  EXPECT_EQ(Column(), Q({c, b, a})) << "the last one processed is row 0";

  Drop({Url(a)});
  Drop({Url(upper_a)});
  EXPECT_EQ(Column(), Q({c, b, a})) << "a duplicate, in any letter case, is refused";

  Drop({Url(sub), Url(link), Url(Path("missing.txt"))});
  EXPECT_EQ(Column(), Q({target, sub, c, b, a})) << "a link gives its target; missing names none";
  EXPECT_EQ(Column(4), QStringList(5, "")) << "a dropped row has text in column 0 only";

  EXPECT_FALSE(Drop({QUrl("https://example.com/setup.exe")})) << "nothing local is offered";
  ASSERT_TRUE(Drop({QUrl("https://example.com/e.txt"), Url(broken), Url(d)}));
  EXPECT_EQ(Column(), Q({d, target, sub, c, b, a}));
  ASSERT_EQ(boxes->texts.size(), 1u);
  EXPECT_TRUE(boxes->texts[0].contains("name.txt") && boxes->texts[0].contains("line break"))
      << boxes->texts[0].toStdString();

  const CProjectSettings saved = SaveAndReload("dropped.kbr");
  ASSERT_EQ(saved.files.size(), 6u);
  EXPECT_EQ(saved.files[0].path, d);
  EXPECT_EQ(saved.files[1].path, target);
  EXPECT_EQ(saved.files[5].path, a);

  Press(QKeySequence("Ctrl+N"));
  Drop({Url(b), Url(a)});
  EXPECT_EQ(Column(), Q({a, b})) << "after New no row is left to refuse them";
}

TEST_F(FileListTest, AddPutsTheChosenFilesOnTopInReverseOrder) {
  const std::string one = File("one.exe");
  const std::string a = File("pick/a.txt"), b = File("pick/b.txt"), c = File("pick/c.txt");
  const std::string broken = File("pick/two\r\nlines.txt");
  ASSERT_TRUE(Start());

  dialogs.Answer(one);
  QTest::mouseClick(view().addButton, Qt::LeftButton);
  EXPECT_EQ(dialogs.filters.back(), "All Files (*.*)");
  EXPECT_EQ(Column(), Q({one}));

  dialogs.Answer(Q({a, b, c}));
  QTest::mouseClick(view().addButton, Qt::LeftButton);
  EXPECT_EQ(Column(), Q({c, b, a, one}));

  dialogs.Cancel();
  QTest::mouseClick(view().addButton, Qt::LeftButton);
  dialogs.Answer(Q({a, broken, one}));  // two duplicates and a name no project file can keep
  QTest::mouseClick(view().addButton, Qt::LeftButton);
  EXPECT_EQ(Column(), Q({c, b, a, one}));
  ASSERT_EQ(boxes->texts.size(), 1u);
  EXPECT_TRUE(boxes->texts[0].contains("lines.txt")) << boxes->texts[0].toStdString();
}

TEST_F(FileListTest, RemoveAndDeleteActOnTheSelectedRow) {
  const std::string a = File("a.txt"), b = File("b.txt"), c = File("c.txt"), d = File("d.txt");
  CProjectSettings project;
  for (const std::string& path : {d, c, b, a}) {
    ProjectFileEntry entry;
    entry.path = path;
    project.AddFileEntry(entry);
  }
  ASSERT_TRUE(project.Save(Path("four.kbr")));
  ASSERT_TRUE(Start({QString::fromStdString(Path("four.kbr"))}));
  ASSERT_TRUE(list().hasFocus());
  QTest::keyClick(&list(), Qt::Key_Delete);
  QTest::mouseClick(view().removeButton, Qt::LeftButton);
  EXPECT_EQ(list().RowCount(), 4) << "nothing is selected, so nothing is removed";
  Drop({Url(b)});
  EXPECT_EQ(Column(), Q({d, c, b, a})) << "rows read from the project count as duplicates";

  ClickRow(1);
  QTest::mouseClick(view().removeButton, Qt::LeftButton);
  EXPECT_EQ(Column(), Q({d, b, a}));
  EXPECT_EQ(list().SelectionMark(), 1) << "the row that took the removed one's place";
  QTest::keyClick(&list(), Qt::Key_Delete);
  EXPECT_EQ(Column(), Q({d, a}));
  QTest::keyClick(&list(), Qt::Key_Delete);
  EXPECT_EQ(Column(), Q({d})) << "removing the last row marks the new last row";
  QTest::mouseClick(view().removeButton, Qt::LeftButton);
  QTest::mouseClick(view().removeButton, Qt::LeftButton);
  EXPECT_EQ(list().RowCount(), 0);
}

TEST_F(FileListTest, PropertiesDialogEditsTheRowItWasOpenedOn) {
  const std::string tool = File("tool.exe"), readme = File("readme.txt");
  const std::string other = File("other.exe"), icon = File("tool.ico");
  std::filesystem::current_path(folder.path());  // where the "..." buttons start
  ASSERT_TRUE(Start());
  Drop({Url(readme), Url(tool)});  // rows tool, readme

  // Enter on the selected row; OK writes the five values back.
  ClickRow(0);
  PropertiesDialogAnswer edit([](CFilePropertiesDlg& dialog) {
    DesktopTest::Type(dialog.labelBox, "Tool");
    DesktopTest::Type(dialog.guidBox, "not checked");
    QTest::mouseClick(dialog.workDirCheck, Qt::LeftButton);
    QTest::mouseClick(dialog.desktopCheck, Qt::LeftButton);
    DesktopTest::Type(dialog.extensionsBox, ".abc;.abcd");
    DesktopTest::Type(dialog.extensionDescriptionBox, "Abc document");
    QTest::mouseClick(dialog.launchCheck, Qt::LeftButton);
    QTest::mouseClick(dialog.okButton, Qt::LeftButton);
  });
  QTest::keyClick(&list(), Qt::Key_Return);
  ASSERT_TRUE(edit.opened);
  EXPECT_EQ(edit.shownSource, QString::fromStdString(tool));
  EXPECT_EQ(list().ItemText(0, 1), "Tool");
  EXPECT_EQ(list().ItemText(0, 3), "not checked");
  EXPECT_EQ(list().ItemText(0, 4), "1");
  EXPECT_EQ(list().ItemText(0, 5), "1");
  EXPECT_EQ(list().ItemText(0, 7), ".abc;.abcd");
  EXPECT_EQ(list().ItemText(0, 8), "Abc document");
  EXPECT_EQ(list().ItemText(0, 9), "1");

  // A double click opens the clicked row; Cancel keeps it even after a browse changed a field.
  dialogs.Answer(other);
  PropertiesDialogAnswer cancel([&](CFilePropertiesDlg& dialog) {
    QTest::mouseClick(dialog.sourceBrowseButton, Qt::LeftButton);
    EXPECT_EQ(dialog.sourceBox->text(), QString::fromStdString(other));
    Cancel(dialog);
  });
  DoubleClickAt(RowCentre(1));
  ASSERT_TRUE(cancel.opened);
  EXPECT_EQ(cancel.shownSource, QString::fromStdString(readme));
  EXPECT_EQ(dialogs.filters.back(), "All Files (*.*)");
  EXPECT_EQ(dialogs.folders.back().toStdString(), folder.path().string());
  EXPECT_EQ(Column(), Q({tool, readme}));

  // A typed label survives browsing for the icon.
  dialogs.Answer(icon);
  PropertiesDialogAnswer browse([&](CFilePropertiesDlg& dialog) {
    DesktopTest::Type(dialog.labelBox, "Read me");
    QTest::mouseClick(dialog.iconBrowseButton, Qt::LeftButton);
    EXPECT_EQ(dialog.labelBox->text(), "Read me");
    QTest::mouseClick(dialog.okButton, Qt::LeftButton);
  });
  ClickRow(1);
  QTest::mouseClick(view().propertiesButton, Qt::LeftButton);
  ASSERT_TRUE(browse.opened);
  EXPECT_EQ(dialogs.filters.back(), "Icon Files (*.ico)");
  EXPECT_EQ(list().ItemText(1, 1), "Read me");
  EXPECT_EQ(list().ItemText(1, 2), QString::fromStdString(icon));
  EXPECT_EQ(list().ItemText(1, 4), "0");

  // Setup starts one program: offering another takes the offer from the first.
  PropertiesDialogAnswer launch([](CFilePropertiesDlg& dialog) {
    EXPECT_FALSE(dialog.launchCheck->isChecked());
    dialog.launchCheck->setFocus();
    QTest::keyClick(dialog.launchCheck, Qt::Key_Space);
    QTest::keyClick(&dialog, Qt::Key_Return);
  });
  DoubleClickAt(RowCentre(1));
  ASSERT_TRUE(launch.opened);
  EXPECT_EQ(list().ItemText(1, 9), "1");
  EXPECT_EQ(list().ItemText(0, 9), "0");

  {  // Below the last row there is nothing to open.
    PropertiesDialogAnswer nothing(Cancel);
    DoubleClickAt(QPoint(5, list().viewport()->height() - 5));
    EXPECT_FALSE(nothing.opened);
  }

  const CProjectSettings saved = SaveAndReload("edited.kbr");
  ASSERT_EQ(saved.files.size(), 2u);
  EXPECT_EQ(saved.files[0].shortcutname, "Tool");
  EXPECT_TRUE(saved.files[0].setkdir);
  EXPECT_FALSE(saved.files[0].launchonexit);
  EXPECT_TRUE(saved.files[1].launchonexit);
  EXPECT_EQ(saved.files[1].shortcuticon, icon);
  ASSERT_EQ(saved.icons.size(), 1u);
  EXPECT_EQ(saved.icons[0].path, icon);

  // OK with everything emptied empties the row.
  PropertiesDialogAnswer empty([](CFilePropertiesDlg& dialog) {
    for (QLineEdit* box : {dialog.sourceBox, dialog.labelBox, dialog.iconBox, dialog.guidBox}) {
      DesktopTest::Type(box, "");
    }
    QTest::mouseClick(dialog.workDirCheck, Qt::LeftButton);
    QTest::mouseClick(dialog.okButton, Qt::LeftButton);
  });
  DoubleClickAt(RowCentre(0));
  ASSERT_TRUE(empty.opened);
  EXPECT_EQ(Column(0)[0] + Column(1)[0] + Column(2)[0] + Column(3)[0], "");
  EXPECT_EQ(list().ItemText(0, 4), "0");
  Drop({Url(tool)});
  EXPECT_EQ(Column(), Q({tool, "", readme})) << "the edited row no longer holds that path";

  PropertiesDialogAnswer retarget([&](CFilePropertiesDlg& dialog) {
    DesktopTest::Type(dialog.sourceBox, QString::fromStdString(other));
    QTest::mouseClick(dialog.okButton, Qt::LeftButton);
  });
  DoubleClickAt(RowCentre(1));
  Drop({Url(other)});
  EXPECT_EQ(Column(), Q({tool, other, readme})) << "the edited row now holds that path";
}

// A dropped folder is one folder row, with its files and bytes counted in the background; its
// shortcut target, chosen inside it in File Properties, survives Save and Open.
TEST_F(FileListTest, AFolderRowShowsWhatItHoldsAndKeepsItsShortcutTarget) {
  const std::string app = Path("app");
  std::filesystem::create_directories(app + "/bin/tools");
  std::filesystem::create_directories(app + "/empty");
  WriteFile("app/bin/tools/run.exe", "MZ run");
  WriteFile("app/readme.txt", "read me!");
  WriteFile("app/bin/lib.dll", "0123456789");
  const std::string outside = File("outside.exe");
  ASSERT_TRUE(Start());
  ASSERT_TRUE(Drop({Url(app)}));
  ASSERT_EQ(Column(), Q({app}));
  EXPECT_FALSE(list().topLevelItem(0)->icon(0).isNull()) << "marked as a folder";
  for (int i = 0; i < 500 && list().FolderCounts(0).contains("counting"); ++i) {
    QTest::qWait(10);
  }
  EXPECT_EQ(list().FolderCounts(0), "Folder: 3 files, 24 bytes");
  ClickRow(0);
  EXPECT_EQ(frame().statusBar()->currentMessage(), "Folder: 3 files, 24 bytes");

  // The target must lie inside the folder; a file outside it is refused and changes nothing.
  PropertiesDialogAnswer choose([&](CFilePropertiesDlg& dialog) {
    EXPECT_TRUE(dialog.targetBox->isEnabled());
    DesktopTest::Type(dialog.labelBox, "Run");
    dialogs.Answer(outside);
    QTest::mouseClick(dialog.targetBrowseButton, Qt::LeftButton);
    EXPECT_EQ(dialog.targetBox->text(), "");
    dialogs.Answer(app + "/bin/tools/run.exe");
    QTest::mouseClick(dialog.targetBrowseButton, Qt::LeftButton);
    EXPECT_EQ(dialog.targetBox->text(), "bin/tools/run.exe");
    QTest::mouseClick(dialog.okButton, Qt::LeftButton);
  });
  QTest::keyClick(&list(), Qt::Key_Return);
  ASSERT_TRUE(choose.opened);
  ASSERT_EQ(boxes->texts.size(), 1u);
  EXPECT_TRUE(boxes->texts[0].contains("not inside the folder")) << boxes->texts[0].toStdString();

  const CProjectSettings saved = SaveAndReload("tree.kbr");
  ASSERT_EQ(saved.files.size(), 1u);
  EXPECT_EQ(saved.files[0].shortcuttarget, "bin/tools/run.exe");
  Press(QKeySequence("Ctrl+N"));
  dialogs.Answer(Path("tree.kbr"));
  Press(QKeySequence("Ctrl+O"));
  ASSERT_EQ(Column(), Q({app}));
  PropertiesDialogAnswer reopened([](CFilePropertiesDlg& dialog) {
    EXPECT_EQ(dialog.targetBox->text(), "bin/tools/run.exe");
    QTest::mouseClick(dialog.cancelButton, Qt::LeftButton);
  });
  DoubleClickAt(RowCentre(0));
  ASSERT_TRUE(reopened.opened);

  // Without drag and drop: Ctrl+Shift+A asks for a folder.
  Press(QKeySequence("Ctrl+N"));
  dialogs.Answer(app);
  Press(QKeySequence("Ctrl+Shift+A"));
  EXPECT_EQ(Column(), Q({app}));
}

// The template's places were made for a narrow font; in a wide one its texts need more room.
class PropertiesDialogFontTest : public FileListTest,
                                 public ::testing::WithParamInterface<const char*> {};

TEST_P(PropertiesDialogFontTest, ShowsEveryTextWithNothingCutOff) {
  ASSERT_TRUE(Start());
  QApplication::setFont(QFont(GetParam()));
  CFilePropertiesDlg dialog(&view());
  dialog.show();
  EXPECT_EQ(dialog.sourceBox->font().family(), GetParam());
  EXPECT_EQ(dialog.windowTitle(), "File Properties");
  QStringList texts;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) {
    texts.append(label->text());
    const QRect place = label->geometry();
    EXPECT_TRUE(dialog.rect().contains(place)) << label->text().toStdString();
    if (label->wordWrap()) {
      EXPECT_GE(place.height(), label->heightForWidth(place.width()))
          << label->text().toStdString();
    } else {
      EXPECT_GE(place.width(), label->sizeHint().width()) << label->text().toStdString();
    }
  }
  EXPECT_THAT(texts, ::testing::UnorderedElementsAre(
                         "File Source", "Start Menu Shortcut Label", "Start Menu Shortcut Icon",
                         "Component GUID", "Shortcut Target in the Folder", "Opens files of type",
                         "Description of the type",
                         "Enter the label that you would like to appear in the Start Menu for "
                         "starting this file and enter or browse to the path of the \"ico\" file "
                         "that will be shown in the start menu for this file.",
                         "Component GUID is filled in automatically during the build process."));
  EXPECT_EQ(dialog.workDirCheck->text(), "WkDir = TgtDir");
  EXPECT_EQ(dialog.launchCheck->text(), "Offer to start this program when setup exits");
  EXPECT_GE(dialog.launchCheck->width(), dialog.launchCheck->sizeHint().width());
  EXPECT_GE(dialog.workDirCheck->width(), dialog.workDirCheck->sizeHint().width());
  EXPECT_TRUE(dialog.rect().contains(dialog.workDirCheck->geometry()));
  EXPECT_TRUE(dialog.okButton->isDefault());
  const QList<QWidget*> controls = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (qsizetype i = 0; i < controls.size(); ++i) {
    for (qsizetype j = i + 1; j < controls.size(); ++j) {
      EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
          << controls[i]->metaObject()->className() << " " << i << " overlaps " << j;
    }
  }
  EXPECT_TRUE(dialog.rect().contains(dialog.cancelButton->geometry()));
}

INSTANTIATE_TEST_SUITE_P(NarrowAndWide, PropertiesDialogFontTest,
                         ::testing::Values("DejaVu Sans", "DejaVu Sans Mono"));

}  // namespace
}  // namespace kb::test

// The main window as a user meets it: start-up, the menus with their keys and prompts, the
// toolbar and status bar, the recent files, Help and About, closing, and projects dropped on
// the window.
#include <stdlib.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QUrl>
#include <filesystem>
#include <functional>

#include "app/about_dlg.h"
#include "app/desktop_fixture.h"
#include "app/hyperlink_static.h"
#include "app/kitbinder_app.h"
#include "app/main_frame.h"
#include "framework/standard_ids.h"
#include "project/project_settings.h"
#include "ui/command_ids.h"
#include "ui/file_list_ctrl.h"
#include "ui/kitbinder_doc.h"
#include "ui/kitbinder_view.h"

namespace kb::test {

// Takes the URLs the program asks the desktop to open, in place of the desktop's browser.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  explicit UrlCatcher(const QString& scheme) : scheme_(scheme) {
    QDesktopServices::setUrlHandler(scheme_, this, "Open");
  }
  ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(scheme_); }

  std::vector<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened.push_back(url); }

 private:
  QString scheme_;
};

namespace {

// Runs `answer` once on the first modal window that opens (from inside its event loop); the
// answer must close it.
class WhenModalOpens {
 public:
  explicit WhenModalOpens(std::function<void(QWidget&)> answer) : answer_(std::move(answer)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || !modal->isVisible()) return;
      timer_.stop();
      opened = true;
      answer_(*modal);
    });
    timer_.start(10);
  }

  bool opened = false;

 private:
  std::function<void(QWidget&)> answer_;
  QTimer timer_;
};

class MainFrameTest : public DesktopTest {
 protected:
  std::string WriteProject(const std::string& name, const std::string& title) {
    std::filesystem::create_directories(std::filesystem::path(Path(name)).parent_path());
    CProjectSettings project;
    project.title = title;
    const std::string path = Path(name);
    EXPECT_TRUE(project.Save(path));
    return path;
  }

  void Open(const std::string& path) {
    dialogs.Answer(path);
    Press(QKeySequence("Ctrl+O"));
  }

  // The File menu's visible recent-file items, top first.
  QStringList RecentFileItems() const {
    QStringList texts;
    for (int id = ID_FILE_MRU_FILE1; QAction* action = frame().Command(id); ++id) {
      if (action->isVisible()) texts.append(action->text());
    }
    return texts;
  }

  static QStringList SettingsRecentFiles() {
    QSettings settings("kitbinder", "kitbinder");
    settings.beginGroup("Recent File List");
    QStringList paths;
    for (int i = 1; i <= 4; ++i) paths.append(settings.value(QString("File%1").arg(i)).toString());
    return paths;
  }

  // Drops `path` from the desktop onto `target`, as the window system delivers it: to the
  // widget under the mouse, and on to its parents until one takes it.
  static void DropFile(QWidget* target, const std::string& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    const QPointF where = target->rect().center();
    QDragEnterEvent enter(where.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted()) << "the window refused the drag";
    QDropEvent drop(where, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
  }
};

struct MenuRow {
  const char* menu;
  const char* text;  // "-" for a separator
  const char* shortcut;
  const char* prompt;  // status-bar text, then the tooltip after a line feed
};

constexpr MenuRow kMenuTable[] = {
    {"&File", "&New\tCtrl+N", "Ctrl+N", "Create a new document\nNew (Ctrl+N)"},
    {"&File", "&Open...\tCtrl+O", "Ctrl+O", "Open an existing document\nOpen (Ctrl+O)"},
    {"&File", "&Save\tCtrl+S", "Ctrl+S", "Save the active document\nSave (Ctrl+S)"},
    {"&File", "Save &As...", "", "Save the active document with a new name\nSave As"},
    {"&File", "-", "", ""},
    {"&File", "Recent File", "", ""},
    {"&File", "-", "", ""},
    {"&File", "E&xit", "", "Quit the application; prompts to save documents\nExit"},
    {"&View", "&Toolbar", "", "Show or hide the toolbar\nToggle ToolBar"},
    {"&View", "&Status Bar", "", "Show or hide the status bar\nToggle StatusBar"},
    {"&Package", "&Build (F7)", "", "Build the current package\nBuild (F7)"},
    {"&Package", "&Install (F5)", "", "Install Package\nInstall (F5)"},
    {"&Help", "&Contents", "F1", "Show Help\nHelp"},
    {"&Help", "&About kitbinder...", "",
     "Display program information, version number and copyright\nAbout"},
};

TEST_F(MainFrameTest, MenusToolbarAndStatusBarAreThoseOfTheTables) {
  ASSERT_TRUE(Start());
  std::vector<MenuRow> shown;
  std::vector<std::string> texts, shortcuts, prompts;  // kept alive for `shown`
  QStringList menus;
  for (QAction* title : frame().menuBar()->actions()) {
    menus.append(title->text());
    for (QAction* item : title->menu()->actions()) {
      if (!item->isVisible()) continue;
      texts.push_back(item->isSeparator() ? "-" : item->text().toStdString());
      shortcuts.push_back(item->shortcut().toString().toStdString());
      const QString prompt = item->statusTip() + '\n' + item->toolTip();
      prompts.push_back(item->statusTip().isEmpty() ? "" : prompt.toStdString());
    }
  }
  EXPECT_EQ(menus, QStringList({"&File", "&View", "&Package", "&Help"}));
  ASSERT_EQ(texts.size(), std::size(kMenuTable));
  for (std::size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(kMenuTable[i].text);
    EXPECT_EQ(texts[i], kMenuTable[i].text);
    EXPECT_EQ(shortcuts[i], kMenuTable[i].shortcut);
    EXPECT_EQ(prompts[i], kMenuTable[i].prompt);
  }

  // Hovering an item puts its prompt in the status bar.
  QMenu* file_menu = frame().menuBar()->actions().front()->menu();
  file_menu->popup(frame().geometry().topLeft());
  file_menu->setActiveAction(frame().Command(ID_FILE_SAVE_AS));
  EXPECT_EQ(frame().statusBar()->currentMessage(), "Save the active document with a new name");
  file_menu->close();

  // The toolbar: New, Open, Save | Build | Install, each with its image and tooltip.
  const std::vector<int> buttons = {
      ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_PACKAGE_BUILD, 0, ID_PACKAGE_INSTALL};
  const QList<QAction*> tools = frame().toolBar()->actions();
  ASSERT_EQ(tools.size(), static_cast<qsizetype>(buttons.size()));
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    if (buttons[i] == 0) {
      EXPECT_TRUE(tools[i]->isSeparator()) << i;
      continue;
    }
    EXPECT_EQ(tools[i], frame().Command(buttons[i])) << i;
    EXPECT_FALSE(tools[i]->icon().isNull()) << i;
    EXPECT_EQ(frame().toolBar()->widgetForAction(tools[i])->toolTip(), tools[i]->toolTip());
  }
  EXPECT_EQ(frame().toolBar()->iconSize(), QSize(16, 15));

  // The status bar: the idle text, then the three lock indicators.
  QStringList panes;
  for (QLabel* pane : frame().statusBar()->findChildren<QLabel*>()) panes.append(pane->text());
  EXPECT_EQ(panes, QStringList({"Ready", "CAP", "NUM", "SCRL"}));
}

TEST_F(MainFrameTest, ViewMenuShowsAndHidesTheBars) {
  ASSERT_TRUE(Start());
  QWidget* tool_bar = frame().toolBar();
  QWidget* status_bar = frame().statusBar();
  for (auto [id, bar] :
       {std::pair{ID_VIEW_TOOLBAR, tool_bar}, std::pair{ID_VIEW_STATUS_BAR, status_bar}}) {
    QAction* item = frame().Command(id);
    ASSERT_TRUE(bar->isVisible());
    ASSERT_TRUE(item->isChecked());
    Choose(id);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(item->isChecked());
    EXPECT_TRUE(tool_bar->isVisible() || status_bar->isVisible()) << "one toggle hid both bars";
    Choose(id);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_TRUE(item->isChecked());
  }
}

// On a 1280 by 900 screen scaled by 2 (640 by 450 to the program) the window opens as large as
// the screen allows, and each page shows whole: nothing cut, nothing touching, the help text
// without a scroll bar it does not need.
TEST_F(MainFrameTest, AtTwiceTheScaleTheWindowShowsTheFormWhole) {
  const std::string screens =
      WriteFile("screens.json",
                R"({"screens": [{"name": "hidpi", "x": 0, "y": 0, "width": 1280, "height": 900,)"
                R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
  ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens).c_str(), 1);
  ::setenv("QT_SCALE_FACTOR", "2", 1);
  const bool started = Start();
  ::unsetenv("QT_SCALE_FACTOR");
  ASSERT_TRUE(started);
  QApplication::processEvents();
  ASSERT_EQ(QApplication::primaryScreen()->availableSize(), QSize(640, 450));
  EXPECT_EQ(frame().size(), QSize(view().sizeHint().width(), 450));
  EXPECT_GT(view().height(), view().minimumHeight() + 50) << "not opened at its minimum";

  CKitbinderView& v = view();
  const QRect form = v.rect();
  for (int page = 0; page < v.tabStrip->count(); ++page) {
    ClickTab(page);
    SCOPED_TRACE(testing::Message() << "page " << page);
    std::vector<QWidget*> shown;
    for (QWidget* control : v.findChildren<QWidget*>()) {
      if (!control->isVisible() || control == v.tabStrip) continue;
      if (control->parentWidget() == &v || control->parentWidget() == v.advancedPage) {
        shown.push_back(control);
      }
    }
    ASSERT_GT(shown.size(), 1u);
    const QRect help = v.helpBox->geometry();
    for (QWidget* control : shown) {
      const QRect place(control->mapTo(&v, QPoint()), control->size());
      // The Advanced page's rows are whole on their area, which scrolls to each.
      const bool scrolled = control->parentWidget() == v.advancedPage;
      EXPECT_TRUE(scrolled ? v.advancedPage->rect().contains(control->geometry())
                           : form.contains(place))
          << control->metaObject()->className();
      if (control == v.helpBox) continue;
      if (!scrolled) {
        EXPECT_FALSE(place.intersects(help)) << control->metaObject()->className();
      }
      // Each label keeps a gap to whatever stands on its right in its row.
      if (!qobject_cast<QLabel*>(control)) continue;
      for (QWidget* other : shown) {
        const QRect beside(other->mapTo(&v, QPoint()), other->size());
        if (other != control && beside.top() == place.top() && beside.left() >= place.left()) {
          EXPECT_GE(beside.left(), place.right() + 4)
              << control->property("text").toString().toStdString();
        }
      }
    }
    EXPECT_LE(v.propertiesButton->geometry().right(), v.fileList->geometry().right());
  }
  ClickTab(2);  // a short help text
  QApplication::processEvents();
  EXPECT_FALSE(v.helpBox->verticalScrollBar()->isVisible());
  EXPECT_GT(v.advancedArea->verticalScrollBar()->maximum(), 0) << "the Advanced page scrolls";
}

TEST_F(MainFrameTest, AboutBoxShowsTheVersionWhole_AndItsLinkOpensTheAddress) {
  ASSERT_TRUE(Start());
  UrlCatcher browser("https");
  QString caption, link_text;
  QStringList lines;
  WhenModalOpens about([&](QWidget& window) {
    auto* dialog = dynamic_cast<CAboutDlg*>(&window);
    ASSERT_NE(dialog, nullptr);
    caption = dialog->windowTitle();
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
      if (label->text().isEmpty()) continue;  // the icon
      lines.append(label->text());
      EXPECT_LE(label->sizeHint().width(), label->width())
          << "cut off: " << label->text().toStdString();
      EXPECT_TRUE(dialog->rect().contains(label->geometry())) << label->text().toStdString();
    }
    link_text = dialog->link()->text();
    QTest::mouseClick(dialog->link(), Qt::LeftButton);
    QPushButton* ok = dialog->findChild<QPushButton*>();
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    QTest::mouseClick(ok, Qt::LeftButton);
  });
  Choose(ID_APP_ABOUT);
  ASSERT_TRUE(about.opened);
  EXPECT_EQ(caption, "About kitbinder");
  EXPECT_TRUE(lines.contains("kitbinder Version 1.0.0.6")) << lines.join('|').toStdString();
  ASSERT_EQ(browser.opened.size(), 1u);
  EXPECT_EQ(browser.opened[0], QUrl(link_text));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "OK left the box open";
}

TEST_F(MainFrameTest, HelpContentsOpensThePageBesideTheProgramWhereverTheProjectIs) {
  const std::string project = WriteProject("elsewhere/tool.kbr", "Tool");
  ASSERT_TRUE(Start());
  UrlCatcher browser("file");
  Open(project);
  std::filesystem::current_path(folder.path() / "elsewhere");
  Press(QKeySequence(Qt::Key_F1));
  ASSERT_EQ(browser.opened.size(), 1u);
  EXPECT_EQ(browser.opened[0].toLocalFile(),
            QDir(KITBINDER_BIN_DIR).absoluteFilePath("kitbinder.html"));
}

// Without a program to open it, Help ▸ Contents says so and names the page.
TEST_F(MainFrameTest, HelpContentsWithoutABrowserNamesThePage) {
  ASSERT_TRUE(Start());
  QObject refuser;
  QDesktopServices::setUrlHandler("file", &refuser, "NoSuchMethod");  // every open fails
  Choose(ID_HELP_INDEX);
  QDesktopServices::unsetUrlHandler("file");
  ASSERT_EQ(boxes->texts.size(), 1u);
  EXPECT_TRUE(boxes->texts[0].startsWith("No program on this desktop opens the help page."));
  EXPECT_TRUE(boxes->texts[0].contains(QDir(KITBINDER_BIN_DIR).absoluteFilePath("kitbinder.html")));
}

TEST_F(MainFrameTest, StartsWithTheProjectNamedOnTheCommandLine) {
  const std::string project = WriteProject("tool.kbr", "Tool");
  std::filesystem::current_path(folder.path());
  ASSERT_TRUE(Start({"tool.kbr"}));  // as typed in a shell in the project's folder
  EXPECT_EQ(frame().windowTitle(), "tool.kbr - kitbinder");
  // No placement is stored: three quarters of the (800 by 800) screen, at most 800 by 600, but
  // wide and high enough to show the form whole.
  EXPECT_EQ(frame().height(), 600);
  EXPECT_GE(view().width(), view().sizeHint().width());
  EXPECT_GE(view().height(), view().sizeHint().height());
  EXPECT_EQ(view().titleBox->text(), "Tool");
  EXPECT_EQ(app().RecentFiles(), QStringList{QString::fromStdString(project)});
  EXPECT_EQ(view().projectFolder, folder.path().string()) << "the project counts as never saved";
  EXPECT_EQ(view().storedSettings.projectPath, project);
  EXPECT_TRUE(boxes->texts.empty());
}

TEST_F(MainFrameTest, AMissingProjectOnTheCommandLineIsReportedAndEndsTheProgram) {
  const std::string missing = Path("missing.kbr");
  EXPECT_FALSE(Start({QString::fromStdString(missing)}));
  ASSERT_EQ(boxes->texts.size(), 1u);
  EXPECT_TRUE(boxes->texts[0].contains(QString::fromStdString(missing)))
      << boxes->texts[0].toStdString();
  EXPECT_FALSE(frame().isVisible());
  EXPECT_TRUE(app().RecentFiles().isEmpty());
}

TEST_F(MainFrameTest, APipeOnTheCommandLineIsRefusedWithoutWaitingForAWriter) {
  const std::string pipe = Path("pipe.kbr");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_FALSE(Start({QString::fromStdString(pipe)}));
  EXPECT_EQ(boxes->texts, std::vector<QString>{QString::fromStdString(
                              pipe + " is a pipe, socket or device, not a file")});
  EXPECT_TRUE(app().RecentFiles().isEmpty());
}

TEST_F(MainFrameTest, RecentFilesKeepTheFourNewestAndDropOneThatNoLongerOpens) {
  std::vector<std::string> projects;
  for (int i = 1; i <= 5; ++i) {
    projects.push_back(WriteProject("p" + std::to_string(i) + ".kbr", "P" + std::to_string(i)));
  }
  {
    QSettings settings("kitbinder", "kitbinder");
    settings.setValue("Recent File List/File1", QString::fromStdString(projects[0]));
  }
  ASSERT_TRUE(Start());
  ASSERT_EQ(RecentFileItems().size(), 1) << "the list of the last run is shown";
  for (const std::string& project : projects) Open(project);
  const auto q = [&](int i) { return QString::fromStdString(projects[i]); };
  EXPECT_EQ(SettingsRecentFiles(), QStringList({q(4), q(3), q(2), q(1)}));
  QStringList items = RecentFileItems();
  ASSERT_EQ(items.size(), 4);
  EXPECT_EQ(items[0], "&1 " + q(4));
  EXPECT_EQ(items[3], "&4 " + q(1));
  EXPECT_EQ(frame().Command(ID_FILE_MRU_FILE1 + 4), nullptr) << "the menu holds four at most";

  Choose(ID_FILE_MRU_FILE1 + 2);  // p3 moves to the top
  EXPECT_EQ(frame().windowTitle(), "p3.kbr - kitbinder");
  EXPECT_EQ(SettingsRecentFiles(), QStringList({q(2), q(4), q(3), q(1)}));

  std::filesystem::remove(projects[3]);
  Choose(ID_FILE_MRU_FILE1 + 2);  // p4, gone
  ASSERT_EQ(boxes->texts.size(), 1u);
  EXPECT_TRUE(boxes->texts[0].contains(q(3))) << boxes->texts[0].toStdString();
  EXPECT_EQ(frame().windowTitle(), "p3.kbr - kitbinder");
  EXPECT_EQ(SettingsRecentFiles(), QStringList({q(2), q(4), q(1), ""}));
  items = RecentFileItems();
  ASSERT_EQ(items.size(), 3);
  EXPECT_EQ(items[2], "&3 " + q(1));
}

TEST_F(MainFrameTest, ExitAndClosingTheWindowAskToSaveAndCancelStays) {
  ASSERT_TRUE(Start());
  ClickTab(1);
  Type(view().titleBox, "Tool");

  boxes->Answer(QMessageBox::Cancel);
  Choose(ID_APP_EXIT);
  EXPECT_TRUE(frame().isVisible());
  boxes->Answer(QMessageBox::Cancel);
  EXPECT_FALSE(frame().close());
  EXPECT_TRUE(frame().isVisible());

  // Yes, but no file name given: the window stays.
  boxes->Answer(QMessageBox::Yes);
  dialogs.Cancel();
  Choose(ID_APP_EXIT);
  EXPECT_TRUE(frame().isVisible());

  // Yes, but the save fails: the window stays with the edits.
  boxes->Answer(QMessageBox::Yes);
  dialogs.Answer(Path("no-such-folder/tool.kbr"));
  Choose(ID_APP_EXIT);
  ASSERT_EQ(boxes->texts.size(), 5u);
  for (int i : {0, 1, 2, 3}) EXPECT_EQ(boxes->texts[i], "Save changes to Untitled?");
  EXPECT_TRUE(boxes->texts[4].contains("no-such-folder/tool.kbr"));
  EXPECT_TRUE(frame().isVisible());
  EXPECT_EQ(view().titleBox->text(), "Tool");

  // Yes with a good name saves, then closes.
  boxes->Answer(QMessageBox::Yes);
  dialogs.Answer(Path("tool.kbr"));
  EXPECT_TRUE(frame().close());
  EXPECT_FALSE(frame().isVisible());
  CProjectSettings saved;
  saved.Load(Path("tool.kbr"));
  EXPECT_EQ(saved.title, "Tool");
}

TEST_F(MainFrameTest, ExitWithoutSavingLosesOnlyWhatTheUserGaveUp) {
  ASSERT_TRUE(Start());
  ClickTab(1);
  Type(view().titleBox, "Tool");
  boxes->Answer(QMessageBox::No);
  Choose(ID_APP_EXIT);
  EXPECT_FALSE(frame().isVisible());
  EXPECT_EQ(boxes->texts.size(), 1u);
  EXPECT_TRUE(dialogs.proposed.empty()) << "No asked for a file name";
}

TEST_F(MainFrameTest, AProjectDroppedOnTheWindowOpensAfterTheSavePrompt) {
  const std::string dropped = WriteProject("dropped.kbr", "Dropped");
  ASSERT_TRUE(Start());
  ClickTab(1);
  Type(view().titleBox, "Edited");

  boxes->Answer(QMessageBox::Cancel);
  DropFile(view().titleBox, dropped);
  ASSERT_EQ(boxes->texts.size(), 1u);
  EXPECT_EQ(boxes->texts[0], "Save changes to Untitled?");
  EXPECT_EQ(view().titleBox->text(), "Edited");
  EXPECT_EQ(frame().windowTitle(), "Untitled - kitbinder");

  boxes->Answer(QMessageBox::No);
  DropFile(view().helpBox, dropped);
  EXPECT_EQ(boxes->texts.size(), 2u);
  EXPECT_EQ(frame().windowTitle(), "dropped.kbr - kitbinder");
  EXPECT_EQ(view().tabStrip->currentIndex(), 0);
  EXPECT_EQ(view().titleBox->text(), "Dropped");
  EXPECT_EQ(view().fileList->RowCount(), 0) << "a project dropped on the window is no file to add";
}

}  // namespace
}  // namespace kb::test

#include "main_frame_test.moc"

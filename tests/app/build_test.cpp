// Package ▸ Build and Install as a user drives them: the form typed in, files added, F7 and F5,
// the packages read back with msitools and installed with Wine's msiexec.
#include <gmock/gmock.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <regex>
#include <set>
#include <stop_token>

#include "app/desktop_fixture.h"
#include "app/kitbinder_app.h"
#include "app/main_frame.h"
#include "cabinet/builder/cabinet_builder.h"
#include "framework/password_prompt.h"
#include "framework/standard_ids.h"
#include "project/project_settings.h"
#include "test_support/needs.h"
#include "test_support/run_command.h"
#include "test_support/text_file.h"
#include "ui/build_progress_dlg.h"
#include "ui/file_list_ctrl.h"
#include "ui/kitbinder_doc.h"
#include "ui/kitbinder_view.h"

namespace kb::test {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

const QKeySequence kBuildKey(Qt::Key_F7);
const QKeySequence kInstallKey(Qt::Key_F5);
constexpr char kComplete[] = "MSI Creation complete";
constexpr int kGuidColumn = 3;

std::string Quoted(const std::string& text) {
  return "'" + std::regex_replace(text, std::regex("'"), "'\\''") + "'";
}

// The rows of `table` as msiinfo exports them, fields split at tabs.
Rows ExportTable(const std::string& package, const std::string& table) {
  int status = 0;
  const std::string text =
      RunCommand("msiinfo export " + Quoted(package) + " " + table + " 2>&1", &status);
  EXPECT_EQ(status, 0) << text;
  Rows rows;
  std::size_t line = 0;
  for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
       start = end + 2, ++line) {
    if (line < 3) continue;  // column names, types, table and keys
    std::vector<std::string>& fields = rows.emplace_back();
    std::string_view rest(text.data() + start, end - start);
    for (std::size_t tab; (tab = rest.find('\t')) != std::string_view::npos;
         rest.remove_prefix(tab + 1)) {
      fields.emplace_back(rest.substr(0, tab));
    }
    fields.emplace_back(rest);
  }
  return rows;
}

std::string PropertyValue(const std::string& package, const std::string& name) {
  for (const std::vector<std::string>& row : ExportTable(package, "Property")) {
    if (row.size() == 2 && row[0] == name) return row[1];
  }
  return "(none)";
}

bool IsBracedGuid(const QString& text) {
  static const std::regex guid(R"(\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\})");
  return std::regex_match(text.toStdString(), guid);
}

std::vector<std::string> SampleFiles() {
  const fs::path files = fs::path(KITBINDER_SOURCE_DIR) / "examples" / "sample" / "files";
  return {(files / "Sample Tool.exe").string(), (files / "readme.txt").string(),
          (files / "settings.ini").string(), (files / "manual.txt").string()};
}

// Stands in for the desktop's handler of file URLs: records what the program opens, or, after
// Refuse, answers as a desktop with no program for them does.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  UrlCatcher() { QDesktopServices::setUrlHandler("file", this, "Open"); }
  ~UrlCatcher() override { QDesktopServices::unsetUrlHandler("file"); }
  // openUrl fails when the handler's method does not exist.
  void Refuse() { QDesktopServices::setUrlHandler("file", this, "NoSuchMethod"); }

  std::vector<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened.push_back(url); }
};

// Watches the build's progress dialog as a user would, every 10 ms: what it showed, and whether
// the main window could be closed meanwhile.
class ProgressWatcher {
 public:
  explicit ProgressWatcher(QWidget* main_window) : main_window_(main_window) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(10);
  }

  std::vector<std::pair<int, QString>> shown;  // percentage and texts, as they changed
  bool closed_main_window = false;

 private:
  void Poll() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (!dynamic_cast<CBuildProgressDlg*>(widget) || !widget->isVisible()) continue;
      if (!tried_close_) {
        tried_close_ = true;  // the question the close asks runs this timer again
        closed_main_window = main_window_->close();
      }
      QStringList lines;
      for (const QLabel* label : widget->findChildren<QLabel*>()) lines.append(label->text());
      const std::pair<int, QString> now = {widget->findChild<QProgressBar*>()->value(),
                                           lines.join('\n')};
      if (shown.empty() || shown.back() != now) shown.push_back(now);
    }
  }

  QWidget* main_window_;
  bool tried_close_ = false;
  QTimer timer_;
};

// One way a user cancels a build once its progress dialog shows `at_percent` or more.
struct CancelWay {
  const char* name;
  int at_percent;
  std::function<void(CBuildProgressDlg& dialog, QWidget& main_window)> cancel;
};

// Cancels the build as `way` says, every 10 ms looking at the progress dialog as a user would.
class Canceller {
 public:
  explicit Canceller(const CancelWay& way, QWidget* main_window)
      : way_(way), main_window_(main_window) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(10);
  }

  std::optional<int> cancelled_at;  // the percentage shown when the user cancelled
  int last_percent = 0;             // the last percentage shown

 private:
  void Poll() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* dialog = dynamic_cast<CBuildProgressDlg*>(widget);
      if (!dialog || !dialog->isVisible()) continue;
      last_percent = dialog->findChild<QProgressBar*>()->value();
      if (cancelled_at || last_percent < way_.at_percent) continue;
      cancelled_at = last_percent;  // before the cancel, whose question runs this timer again
      way_.cancel(*dialog, *main_window_);
    }
  }

  const CancelWay& way_;
  QWidget* main_window_;
  QTimer timer_;
};

std::size_t ThreadCount() {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/task"), {}));
}

class BuildTest : public DesktopTest {
 protected:
  // A saved project titled `title` with the files `paths`.
  std::string WriteProject(const std::string& title, const std::vector<std::string>& paths) {
    CProjectSettings project;
    project.title = title;
    project.version = "1.0";
    for (const std::string& path : paths) {
      ProjectFileEntry entry;
      entry.path = path;
      project.AddFileEntry(entry);
    }
    const std::string file = Path(title + ".kbr");
    EXPECT_TRUE(project.Save(file));
    return file;
  }

  // Adds `paths` with the Add button, so that they are listed in this order.
  void AddFiles(const std::vector<std::string>& paths) {
    ClickTab(0);
    QStringList answer;  // each goes on top of the one before
    for (const std::string& path : paths) answer.prepend(QString::fromStdString(path));
    dialogs.Answer(answer);
    QTest::mouseClick(view().addButton, Qt::LeftButton);
    ASSERT_EQ(view().fileList->RowCount(), static_cast<int>(paths.size()));
  }

  void ChooseLanguage(int index) {
    ClickTab(4);
    QComboBox* list = view().languageList;
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(list, Qt::Key_Down);
    ASSERT_EQ(list->currentIndex(), index);
  }

  std::vector<QString> FormGuids() const {
    std::vector<QString> guids;
    for (int row = 0; row < view().fileList->RowCount(); ++row) {
      guids.push_back(view().fileList->ItemText(row, kGuidColumn));
    }
    return guids;
  }

  bool FolderIsEmpty() const { return fs::is_empty(folder.path()); }

  // The names in the project's folder, with the hidden ones a build makes as it goes.
  std::set<std::string> FolderListing() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  // `count` files of `size` bytes from the system's random source, files/big0.bin and on: data
  // that no compression shrinks, made quickly.
  std::vector<std::string> WriteIncompressibleFiles(int count, std::size_t size) const {
    std::ifstream random("/dev/urandom", std::ios::binary);
    std::string bytes(size, '\0');
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
      random.read(bytes.data(), static_cast<std::streamsize>(size));
      files.push_back(WriteFile("files/big" + std::to_string(i) + ".bin", bytes));
    }
    return files;
  }

  // `count` files of `size` random bytes, files/f0.bin and on, which compress slowly.
  std::vector<std::string> WriteRandomFiles(int count, std::size_t size) const {
    std::mt19937 random(7);
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
      std::string bytes(size, '\0');
      for (char& byte : bytes) byte = static_cast<char>(random());
      files.push_back(WriteFile("files/f" + std::to_string(i) + ".bin", bytes));
    }
    return files;
  }
};

TEST_F(BuildTest, BuildsTheTypedProjectIntoAPackageThatWineInstalls) {
  if (const auto missing = kb::test::MissingTools({"msiinfo", "wine"})) GTEST_SKIP() << *missing;
  ASSERT_TRUE(Start());
  ClickTab(1);
  Type(view().titleBox, "Sample Tool");
  Type(view().versionBox, "1.2.0");
  ClickTab(2);
  Type(view().authorBox, "Kitbinder Examples");
  AddFiles(SampleFiles());

  const std::string project = Path("sample.kbr");
  dialogs.Answer(project);
  Press(kBuildKey);
  ASSERT_EQ(boxes->texts, std::vector<QString>{kComplete});
  EXPECT_EQ(dialogs.proposed.size(), 1u) << "a never-saved project is saved first";
  const std::string package = Path("Sample Tool.msi");
  ASSERT_TRUE(fs::exists(package));
  // Nothing but the package and the project's own files is left beside the project.
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    EXPECT_NE(entry.path().filename().string().front(), '.') << "left behind: " << entry.path();
  }

  EXPECT_EQ(PropertyValue(package, "ProductName"), "Sample Tool");
  EXPECT_EQ(PropertyValue(package, "ProductVersion"), "1.2.0");
  EXPECT_EQ(PropertyValue(package, "Manufacturer"), "Kitbinder Examples");
  EXPECT_EQ(PropertyValue(package, "ProductLanguage"), "1033");
  std::multiset<std::string> long_names;
  for (const auto& row : ExportTable(package, "File"))
    long_names.insert(row.at(2).substr(row[2].find('|') + 1));
  EXPECT_EQ(long_names, (std::multiset<std::string>{"Sample Tool.exe", "readme.txt", "settings.ini",
                                                    "manual.txt"}));

  // What the build generated is in the form, and it is what the package holds.
  ClickTab(4);
  for (const QLineEdit* box :
       {view().productCodeBox, view().packageCodeBox, view().upgradeCodeBox}) {
    EXPECT_TRUE(IsBracedGuid(box->text())) << box->text().toStdString();
  }
  EXPECT_EQ(PropertyValue(package, "ProductCode"), view().productCodeBox->text().toStdString());
  EXPECT_EQ(PropertyValue(package, "UpgradeCode"), view().upgradeCodeBox->text().toStdString());
  std::set<QString> component_guids;
  // Every component is a file's but the one that removes the product's folders.
  for (const auto& row : ExportTable(package, "Component")) {
    if (row.at(0) != "ProductFolders") component_guids.insert(QString::fromStdString(row.at(1)));
  }
  std::set<QString> form_guids;
  for (const QString& guid : FormGuids()) {
    EXPECT_EQ(guid.size(), 36) << guid.toStdString();
    form_guids.insert('{' + guid + '}');
  }
  EXPECT_EQ(form_guids, component_guids);

  // ... and it reaches the project file at the next save.
  EXPECT_TRUE(doc().IsModified());
  Press(QKeySequence::Save);
  EXPECT_FALSE(doc().IsModified());
  CProjectSettings saved;
  saved.Load(project);
  EXPECT_EQ(saved.productcode, view().productCodeBox->text().toStdString());
  EXPECT_EQ(saved.packagecode, view().packageCodeBox->text().toStdString());
  EXPECT_EQ(saved.upgradecode, view().upgradeCodeBox->text().toStdString());
  EXPECT_EQ(saved.productcodeversion, "1.2.0");
  ASSERT_EQ(saved.files.size(), 4u);
  for (std::size_t i = 0; i < saved.files.size(); ++i) {
    EXPECT_EQ(saved.files[i].componentguid, FormGuids()[i].toStdString());
  }

  UrlCatcher desktop;
  Press(kInstallKey);
  EXPECT_EQ(desktop.opened,
            std::vector<QUrl>{QUrl::fromLocalFile(QString::fromStdString(package))});
  EXPECT_EQ(boxes->texts.size(), 1u);

  std::string command = "/usr/bin/python3 " KITBINDER_SOURCE_DIR
                        "/tests/app/install_with_wine.py " +
                        Quoted(package) + " 'Sample Tool'";
  for (const std::string& file : SampleFiles()) command += " " + Quoted(file);
  int status = 0;
  const std::string output = RunCommand(command + " 2>&1", &status);
  EXPECT_EQ(status, 0) << output;

  // The same version built again is the same product in a new package; a new version is a new
  // product of the same upgrade code.
  const QString product = view().productCodeBox->text();
  const QString package_code = view().packageCodeBox->text();
  const QString upgrade = view().upgradeCodeBox->text();
  Press(kBuildKey);
  EXPECT_EQ(view().productCodeBox->text(), product);
  EXPECT_NE(view().packageCodeBox->text(), package_code);
  ClickTab(1);
  Type(view().versionBox, "1.3.0");
  Press(kBuildKey);
  EXPECT_NE(view().productCodeBox->text(), product);
  EXPECT_EQ(view().upgradeCodeBox->text(), upgrade);
  EXPECT_EQ(PropertyValue(package, "ProductCode"), view().productCodeBox->text().toStdString());
  Press(QKeySequence::Save);
  saved.Load(project);
  EXPECT_EQ(saved.productcodeversion, "1.3.0");
  EXPECT_EQ(saved.productcode, view().productCodeBox->text().toStdString());
}

// The outcome's text stays as it is; the package's path, size and time are in the status bar, and
// the message offers to open the folder that holds the package.
TEST_F(BuildTest, TheOutcomeNamesThePackageAndOffersItsFolder) {
  const std::string file = WriteFile("a.txt", "a");
  ASSERT_TRUE(Start({QString::fromStdString(WriteProject("Tool", {file}))}));
  UrlCatcher desktop;
  Press(kBuildKey);
  ASSERT_EQ(boxes->texts, std::vector<QString>{kComplete});
  const QString shown = frame().statusBar()->currentMessage();
  const QFileInfo package(QString::fromStdString(Path("Tool.msi")));
  EXPECT_TRUE(shown.startsWith("Built " + package.absoluteFilePath() + ": " +
                               QLocale().toString(package.size()) + " bytes in "))
      << shown.toStdString();
  EXPECT_TRUE(desktop.opened.empty()) << "OK opens nothing";

  boxes->Answer(QMessageBox::Open);
  Press(kBuildKey);
  EXPECT_EQ(desktop.opened, std::vector<QUrl>{QUrl::fromLocalFile(package.absolutePath())});
  EXPECT_EQ(boxes->texts.size(), 2u);

  desktop.Refuse();
  boxes->Answer(QMessageBox::Open);
  Press(kBuildKey);
  ASSERT_EQ(boxes->texts.size(), 4u);
  EXPECT_EQ(boxes->texts[3], "No program on this desktop opens folders.\nThe package is in " +
                                 package.absolutePath() + ".");
}

TEST_F(BuildTest, TheLanguageListChoosesTheTemplate) {
  const std::string file = WriteFile("a.txt", "a");
  ASSERT_TRUE(Start({QString::fromStdString(WriteProject("Tool", {file}))}));
  const std::string package = Path("Tool.msi");
  for (const auto& [index, language] : {std::pair{1, "1036"}, {2, "3082"}, {0, "1033"}}) {
    ChooseLanguage(index);
    Press(kBuildKey);
    EXPECT_EQ(boxes->texts.back(), kComplete);
    EXPECT_EQ(PropertyValue(package, "ProductLanguage"), language) << "language index " << index;
  }
  EXPECT_EQ(boxes->texts.size(), 3u);
}

TEST_F(BuildTest, AnEmptyListIsRefusedBeforeAnythingIsSaved) {
  ASSERT_TRUE(Start());
  Press(kBuildKey);
  EXPECT_EQ(boxes->texts, std::vector<QString>{"No files in package"});
  EXPECT_TRUE(dialogs.proposed.empty());
  EXPECT_TRUE(FolderIsEmpty());
}

TEST_F(BuildTest, CancellingTheSaveAsEndsTheBuildSilently) {
  ASSERT_TRUE(Start());
  AddFiles({SampleFiles()[1]});
  dialogs.Cancel();
  Press(kBuildKey);
  EXPECT_EQ(dialogs.proposed.size(), 1u);
  EXPECT_TRUE(boxes->texts.empty());
  EXPECT_TRUE(view().projectFolder.empty());
  EXPECT_TRUE(FolderIsEmpty());
  EXPECT_EQ(view().fileList->ItemText(0, kGuidColumn), "");
}

// A project the build would refuse gets one error message that names every problem and where
// it lies, and the form then shows the first; nothing is written or generated.
TEST_F(BuildTest, ABuildWithProblemsNamesThemAllAtOnceAndGoesToTheFirst) {
  const std::string file = WriteFile("a.txt", "a");
  const std::string project = WriteProject("Tool", {file, "gone.txt"});
  ASSERT_TRUE(Start({QString::fromStdString(project)}));
  ClickTab(1);
  Type(view().versionBox, "1.x");
  ClickTab(3);
  Type(view().eulaFileBox, "missing.rtf");
  ClickTab(4);
  Type(view().productCodeBox, "nope");
  ClickTab(0);
  Press(kBuildKey);

  ASSERT_EQ(boxes->texts.size(), 1u);
  EXPECT_EQ(boxes->icons[0], QMessageBox::Critical);
  const QStringList lines = boxes->texts[0].split('\n');
  ASSERT_EQ(lines.size(), 5) << boxes->texts[0].toStdString();
  EXPECT_EQ(lines[0], "An error occurred during MSI Creation.");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Product \u25b8 Version: ", "\"1.x\""},
      {"Files to Install, row 2: ", "Failed to add file gone.txt: it does not exist"},
      {"Advanced \u25b8 Product Code: ", "\"nope\" is not a GUID"},
      {"License \u25b8 Eula File Path: ", "licence file missing.rtf does not exist"}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_THAT(lines[static_cast<int>(i) + 1].toStdString(),
                testing::AllOf(testing::StartsWith("\u2022 " + expected[i].first),
                               testing::HasSubstr(expected[i].second)));
  }
  EXPECT_EQ(view().tabStrip->currentIndex(), 1);
  EXPECT_EQ(frame().focusWidget(), view().versionBox);
  EXPECT_EQ(FormGuids(), std::vector<QString>({"", ""})) << "nothing was generated";
  EXPECT_EQ(view().productCodeBox->text(), "nope");
  EXPECT_FALSE(fs::exists(Path("Tool.msi")));

  // The first problem in the file list selects its row.
  ClickTab(1);
  Type(view().versionBox, "1.0");
  ClickTab(3);
  Type(view().eulaFileBox, "");
  ClickTab(4);
  Type(view().productCodeBox, "");
  Press(kBuildKey);
  ASSERT_EQ(boxes->texts.size(), 2u);
  EXPECT_EQ(boxes->texts[1].count('\n'), 1) << boxes->texts[1].toStdString();
  EXPECT_EQ(view().tabStrip->currentIndex(), 0);
  EXPECT_EQ(view().fileList->SelectionMark(), 1);
}

TEST_F(BuildTest, InstallOfAProjectNeverSavedAsksForABuild) {
  ASSERT_TRUE(Start());
  Press(kInstallKey);
  EXPECT_EQ(boxes->texts, std::vector<QString>{"This project has not been built yet.\n"
                                               "Package \u25b8 Build (F7) saves it and makes "
                                               "its package."});
}

TEST_F(BuildTest, InstallOpensTheBuiltPackageOrSaysWhyNot) {
  const std::string file = WriteFile("a.txt", "a");
  ASSERT_TRUE(Start({QString::fromStdString(WriteProject("Tool", {file}))}));
  const QString package = QString::fromStdString(Path("Tool.msi"));
  UrlCatcher desktop;
  Press(kInstallKey);
  ASSERT_EQ(boxes->texts.size(), 1u);
  EXPECT_TRUE(boxes->texts[0].contains(package)) << boxes->texts[0].toStdString();
  EXPECT_TRUE(boxes->texts[0].contains(QStringLiteral("Package \u25b8 Build")))
      << boxes->texts[0].toStdString();

  Press(kBuildKey);
  ASSERT_EQ(boxes->texts.back(), kComplete);
  Press(kInstallKey);
  EXPECT_EQ(desktop.opened, std::vector<QUrl>{QUrl::fromLocalFile(package)});
  EXPECT_EQ(boxes->texts.size(), 2u);

  desktop.Refuse();
  Press(kInstallKey);
  ASSERT_EQ(boxes->texts.size(), 3u);
  EXPECT_TRUE(boxes->texts[2].startsWith("No program")) << boxes->texts[2].toStdString();
  EXPECT_TRUE(boxes->texts[2].contains(package)) << boxes->texts[2].toStdString();

  // A title changed since the build names a package that does not exist.
  ClickTab(1);
  Type(view().titleBox, "Renamed");
  ClickTab(0);
  Press(kInstallKey);
  ASSERT_EQ(boxes->texts.size(), 4u);
  EXPECT_TRUE(boxes->texts[3].contains(QString::fromStdString(Path("Renamed.msi"))))
      << boxes->texts[3].toStdString();
  EXPECT_EQ(desktop.opened.size(), 1u);
}

TEST_F(BuildTest, ALongBuildShowsItsProgressAndKeepsTheWindowOpen) {
  if (const auto missing = kb::test::MissingTools({"msiinfo"})) GTEST_SKIP() << *missing;
  // Enough data that the build outlasts the dialog's delay many times over, however many
  // threads compress it.
  const std::vector<std::string> files = WriteRandomFiles(300, 128 * 1024);
  ASSERT_TRUE(Start({QString::fromStdString(WriteProject("Many", files))}));
  ProgressWatcher watcher(&frame());
  Press(kBuildKey);
  // The close asked whether to cancel the build, and No (the box's Escape) let it go on.
  EXPECT_EQ(boxes->texts, (std::vector<QString>{"Many.msi is being built.\nCancel the build and "
                                                "close the window?",
                                                kComplete}));
  EXPECT_EQ(ExportTable(Path("Many.msi"), "File").size(), 300u);

  ASSERT_GE(watcher.shown.size(), 2u) << "the dialog showed and then changed";
  EXPECT_FALSE(watcher.closed_main_window);
  EXPECT_TRUE(frame().isVisible());
  for (std::size_t i = 1; i < watcher.shown.size(); ++i) {
    EXPECT_GE(watcher.shown[i].first, watcher.shown[i - 1].first) << "the percentage only grows";
  }
  EXPECT_LE(watcher.shown.back().first, 100);
  EXPECT_TRUE(watcher.shown.back().second.contains(
      QRegularExpression(R"(^Packing the files into Many\.msi\nFile \d+ of 300: f\d+\.bin$)")))
      << watcher.shown.back().second.toStdString();
}

// A cancelled build stops early and leaves everything as it was: the last package to the byte,
// no hidden package, cabinet or staging file, no thread, the form without the codes the build made.
// Cancel, Escape and the dialog's close cancel; the main window's close asks first, then closes.
TEST_F(BuildTest, ACancelledBuildLeavesEverythingAsItWas) {
  const std::string project = WriteProject("Big", {WriteFile("a.txt", "a")});
  ASSERT_TRUE(Start({QString::fromStdString(project)}));
  Press(kBuildKey);
  ASSERT_EQ(boxes->texts, std::vector<QString>{kComplete});
  const std::string last_package = ReadText(Path("Big.msi"));
  // 200 MB in 25 files, added to the form.
  QStringList big;
  for (const std::string& file : WriteIncompressibleFiles(25, 8 << 20)) {
    big.prepend(QString::fromStdString(file));
  }
  dialogs.Answer(big);
  QTest::mouseClick(view().addButton, Qt::LeftButton);
  ASSERT_EQ(view().fileList->RowCount(), 26);
  const std::vector<QString> guids = FormGuids();
  const QString package_code = view().packageCodeBox->text();

  const QString cancelled = "Build cancelled.";
  const QString question = "Big.msi is being built.\nCancel the build and close the window?";
  const CancelWay ways[] = {
      {"Cancel", 10,
       [](CBuildProgressDlg& dialog, QWidget&) {
         QTest::mouseClick(dialog.findChild<QPushButton*>(), Qt::LeftButton);
       }},
      // F7 first: the main window's keys do not reach it behind the dialog.
      {"Escape", 0,
       [](CBuildProgressDlg& dialog, QWidget&) {
         QTest::keyClick(&dialog, Qt::Key_F7);
         QTest::keyClick(&dialog, Qt::Key_Escape);
       }},
      {"the dialog's close", 0, [](CBuildProgressDlg& dialog, QWidget&) { dialog.close(); }},
      // Last: the window closes, after the save prompt (answered No).
      {"the main window's close", 0,
       [](CBuildProgressDlg&, QWidget& main_window) { main_window.close(); }},
  };
  for (const CancelWay& way : ways) {
    SCOPED_TRACE(way.name);
    const bool closing = &way == &ways[std::size(ways) - 1];
    if (closing) {
      boxes->Answer(QMessageBox::Yes);
      boxes->Answer(QMessageBox::No);
    }
    const std::size_t threads = ThreadCount();
    const std::set<std::string> listing = FolderListing();
    boxes->texts.clear();
    Canceller canceller(way, &frame());
    Press(kBuildKey);
    ASSERT_TRUE(canceller.cancelled_at) << "the build ended before it could be cancelled";
    EXPECT_GE(*canceller.cancelled_at, way.at_percent);
    EXPECT_LT(canceller.last_percent, 100) << "the build stopped early";
    if (closing) {
      EXPECT_EQ(boxes->texts,
                (std::vector<QString>{question,
                                      "Save changes to " + QString::fromStdString(project) + "?"}));
      EXPECT_FALSE(frame().isVisible());
    } else {
      EXPECT_EQ(boxes->texts, std::vector<QString>{cancelled});
    }
    EXPECT_EQ(ReadText(Path("Big.msi")), last_package);
    EXPECT_EQ(FolderListing(), listing) << "no hidden package, cabinet or staging file left";
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(FormGuids(), guids);
    EXPECT_EQ(view().packageCodeBox->text(), package_code);
  }
}

// Drops reach the window while a build holds it (they are no user input to its event loop),
// and so could a command: none opens another project until the build has ended.
// The Advanced page's certificate signs each build with the password asked for then, which is
// kept nowhere; cancelling the question cancels the build. The compression chosen is saved.
TEST_F(BuildTest, ABuildWithACertificateAsksItsPasswordAndSigns) {
  if (const auto missing = MissingTools({"osslsigncode"})) GTEST_SKIP() << *missing;
  int status = 0;
  const std::string made = RunCommand(
      "cd '" + folder.path().string() +
          "' && (openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 "
          "-subj /CN=CA && openssl req -newkey rsa:2048 -nodes -keyout k.key -out k.csr "
          "-subj /CN=Publisher && openssl x509 -req -in k.csr -CA ca.pem -CAkey ca.key "
          "-CAcreateserial -out k.pem -days 2 && openssl pkcs12 -export -inkey k.key -in k.pem "
          "-certfile ca.pem -out publisher.p12 -passout pass:s3cret) 2>&1",
      &status);
  ASSERT_EQ(status, 0) << made;
  const std::string file = WriteFile("a.txt", "a");
  const std::string project = WriteProject("Tool", {file});
  ASSERT_TRUE(Start({QString::fromStdString(project)}));
  std::vector<std::optional<QString>> answers = {std::nullopt, QStringLiteral("s3cret")};
  std::vector<QString> prompts;
  InstallPasswordAnswer([&](const QString& prompt) {
    prompts.push_back(prompt);
    const auto answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  });
  ClickTab(4);
  Type(view().signCertificateBox, QStringLiteral("publisher.p12"));
  view().compressionList->setCurrentIndex(4);  // LZX
  Press(kBuildKey);
  EXPECT_TRUE(boxes->texts.empty()) << "a cancelled question builds nothing";
  EXPECT_FALSE(std::filesystem::exists(Path("Tool.msi")));
  Press(kBuildKey);
  InstallPasswordAnswer({});
  ASSERT_EQ(prompts.size(), 2u);
  EXPECT_TRUE(prompts[0].contains("publisher.p12"));
  ASSERT_EQ(boxes->texts.size(), 1u);
  EXPECT_EQ(boxes->texts[0], kComplete);
  const std::string verified = RunCommand(
      "osslsigncode verify -CAfile '" + Path("ca.pem") + "' -in '" + Path("Tool.msi") + "' 2>&1",
      &status);
  EXPECT_EQ(status, 0) << verified;
  Press(QKeySequence::Save);
  const std::string saved = ReadText(project);
  EXPECT_NE(saved.find("signcertificate=publisher.p12"), std::string::npos) << saved;
  EXPECT_NE(saved.find("compression=lzx"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("s3cret"), std::string::npos);
  EXPECT_EQ(RunCommand("grep -rl s3cret '" + settings_home.path().string() + "'", &status), "");
}

TEST_F(BuildTest, NoOtherProjectOpensDuringABuild) {
  const std::vector<std::string> files = WriteRandomFiles(100, 64 * 1024);
  const std::string other = WriteProject("Other", {files[0]});
  ASSERT_TRUE(Start({QString::fromStdString(other)}));
  dialogs.Answer(WriteProject("Many", files));
  Press(QKeySequence("Ctrl+O"));
  ASSERT_EQ(app().RecentFiles().size(), 2);  // Many, then Other
  bool tried = false, drag_taken = true;
  QTimer during_build;
  QObject::connect(&during_build, &QTimer::timeout, [&] {
    const QWidgetList shown = QApplication::topLevelWidgets();
    const bool building = std::any_of(shown.begin(), shown.end(), [](QWidget* widget) {
      return dynamic_cast<CBuildProgressDlg*>(widget) && widget->isVisible();
    });
    if (tried || !building) return;
    tried = true;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(other))});
    const QPoint where = frame().rect().center();
    QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&frame(), &enter);
    drag_taken = enter.isAccepted();
    QDropEvent drop(where, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&frame(), &drop);
    dialogs.Answer(other);
    frame().RouteCommand(ID_FILE_OPEN);
    frame().RouteCommand(ID_FILE_MRU_FILE1 + 1);
    frame().RouteCommand(ID_FILE_NEW);
  });
  during_build.start(5);
  Press(kBuildKey);
  ASSERT_TRUE(tried) << "the build ended before the progress dialog showed";
  EXPECT_FALSE(drag_taken);
  EXPECT_EQ(boxes->texts, std::vector<QString>{kComplete});
  EXPECT_EQ(frame().windowTitle(), "Many.kbr - kitbinder");
  EXPECT_EQ(view().fileList->RowCount(), 100);
  EXPECT_EQ(dialogs.filters.size(), 1u) << "no Open dialog during the build";
}

// The cabinet builder's observer hears every file and all the bytes, and changes nothing the
// build makes.
TEST(CabinetProgressTest, HearsEveryFileAndLeavesTheCabinetAsItIs) {
  TempDir folder;
  ASSERT_EQ(::chdir(folder.path().c_str()), 0);
  std::mt19937 random(3);
  std::vector<std::string> sources;
  std::int64_t total = 0;
  for (int i = 0; i < 4; ++i) {
    std::string bytes(static_cast<std::size_t>(20000 * i + 100), '\0');
    for (char& byte : bytes) byte = static_cast<char>(random() % 7);
    sources.push_back((folder.path() / ("f" + std::to_string(i))).string());
    WriteText(sources.back(), bytes);
    total += static_cast<std::int64_t>(bytes.size());
  }
  const auto make = [&](const cabinet::CabinetObserver& observer) {
    cabinet::CabinetBuilder builder;
    EXPECT_TRUE(builder.SetCabinetName("Install"));
    builder.SetRunOptions({.observer = observer});
    for (const std::string& source : sources) builder.AddFile(source, "");
    EXPECT_TRUE(builder.CreateCabinet());
    return ReadText("Install1.cab");
  };
  const std::string unobserved = make({});

  std::vector<std::string> heard_files;
  cabinet::CabinetProgress last;
  const auto hear = [&](const cabinet::CabinetProgress& progress) {
    if (heard_files.empty() || heard_files.back() != progress.source) {
      heard_files.emplace_back(progress.source);
    }
    EXPECT_GE(progress.bytes_done, last.bytes_done);
    last = progress;
    last.source = {};
  };
  const std::string observed = make({.entry_starting = hear, .block_compressed = hear});

  EXPECT_EQ(heard_files, sources);
  EXPECT_EQ(last.entry_count, 4u);
  EXPECT_EQ(last.bytes_done, total);
  EXPECT_EQ(last.bytes_total, total);
  EXPECT_FALSE(unobserved.empty());
  EXPECT_EQ(observed, unobserved);
}

// A stop requested during a run ends it at the next block or file, whatever the number of
// threads: nothing more is packed, and nothing the run wrote is left.
TEST(CabinetCancelTest, AStopEndsTheRunAtTheNextBlockOrFile) {
  TempDir folder;
  ASSERT_EQ(::chdir(folder.path().c_str()), 0);
  std::mt19937 random(5);
  std::string bytes(40 * 32768, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  const std::vector<std::string> big = {(folder.path() / "big").string()};
  WriteText(big[0], bytes);
  std::vector<std::string> small;
  for (int i = 0; i < 10; ++i) {
    small.push_back(big[0] + std::to_string(i));
    WriteText(small.back(), bytes.substr(0, 1000));
  }
  // The stop comes as block `at_block` is done or entry `at_entry` starts (0: never, else from 1).
  const struct {
    std::vector<std::string> sources;
    std::size_t at_block, at_entry, blocks_heard, entries_heard;
  } cases[] = {{big, 10, 0, 10, 1}, {small, 0, 3, 0, 3}};
  for (const std::size_t threads : {1, 4}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << threads << " threads, " << c.sources.size() << " files");
      std::stop_source stop;
      std::size_t blocks = 0, entries = 0;
      const auto stop_at = [&stop](std::size_t& count, std::size_t at) {
        return [&stop, &count, at](const cabinet::CabinetProgress&) {
          if (++count == at) stop.request_stop();
        };
      };
      cabinet::CabinetBuilder builder;
      ASSERT_TRUE(builder.SetCabinetName("Install"));
      builder.SetRunOptions({.compression_threads = threads,
                             .observer = {.entry_starting = stop_at(entries, c.at_entry),
                                          .block_compressed = stop_at(blocks, c.at_block)},
                             .stop = stop.get_token()});
      for (const std::string& source : c.sources) builder.AddFile(source, "");
      EXPECT_FALSE(builder.CreateCabinet());
      EXPECT_TRUE(builder.LastError().starts_with("FCIAddFile() failed: code 7"))
          << builder.LastError();
      EXPECT_EQ(blocks, c.blocks_heard);
      EXPECT_EQ(entries, c.entries_heard);
      EXPECT_FALSE(fs::exists("Install1.cab"));
    }
  }
}

}  // namespace
}  // namespace kb::test

#include "build_test.moc"

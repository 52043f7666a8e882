// The five-tab project form as a user works it: pages and their help, typing across pages, the
// pixel layout, the language list, the Browse buttons, and what a project looks like on the
// form and back in its file.
#include <gmock/gmock.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <set>

#include "app/desktop_fixture.h"
#include "app/kitbinder_app.h"
#include "app/main_frame.h"
#include "framework/dialog_folders.h"
#include "framework/field_mark.h"
#include "project/project_settings.h"
#include "test_support/text_file.h"
#include "ui/file_list_ctrl.h"
#include "ui/kitbinder_doc.h"
#include "ui/kitbinder_view.h"
#include "ui/one_line_name.h"

namespace kb::test {
namespace {

// A project file as a Windows-made one reads, with every kind of value the form carries.
constexpr char kFullProject[] =
    "[properties]\r\n"
    "title=Sample\r\n"
    "author=Me\r\n"
    "productcode={11111111-2222-3333-4444-555555555555}\r\n"
    "packagecode={AAAAAAAA-2222-3333-4444-555555555555}\r\n"
    "upgradecode={BBBBBBBB-2222-3333-4444-555555555555}\r\n"
    "version=1.0\r\n"
    "comments=Kept though no field shows it\r\n"
    "supporturl=https://example.org/\r\n"
    "eulafile=C:\\src\\eula.rtf\r\n"
    "language=es\r\n"
    "bannerfile=C:\\src\\banner.jpg\r\n"
    "noquestions=true\r\n"
    "productcodeversion=1.0\r\n"
    "installscope=both\r\n"
    "platform=x64\r\n"
    "signcertificate=C:\\keys\\publisher.p12\r\n"
    "timestampurl=http://timestamp.example.org\r\n"
    "compression=lzx\r\n"
    "addtopath=true\r\n"
    "externalcabinets=true\r\n"
    "[files]\r\n"
    "file0path=C:\\src\\app.exe\r\n"
    "file0shortcutname=Sample\r\n"
    "file0shortcuticon=C:\\src\\app.ico\r\n"
    "file0componentguid=0C8E2B7A-1D3F-4A5B-9C6D-7E8F9A0B1C2D\r\n"
    "file0extensions=.abc;.abcd\r\n"
    "file0extensiondescription=Abc document\r\n"
    "file0setkdir=true\r\n"
    "file0desktopshortcut=true\r\n"
    "file0launchonexit=true\r\n"
    "file1path=C:\\src\\readme.txt\r\n"
    "[icons]\r\n"
    "icon0path=C:\\src\\app.ico\r\n";

class FormViewTest : public DesktopTest {
 protected:
  void Open(const std::string& path) {
    dialogs.Answer(path);
    Press(QKeySequence("Ctrl+O"));
  }

  std::vector<QWidget*> PageControls(int page) const {
    CKitbinderView& v = view();
    switch (page) {
      case 0:
        return {v.fileList, v.addButton, v.removeButton, v.propertiesButton};
      case 1:
        return {v.titleBox, v.titleLabel, v.versionLabel, v.versionBox};
      case 2:
        return {v.authorBox, v.authorLabel, v.urlLabel, v.urlBox};
      case 3:
        return {v.eulaFileBox, v.eulaFileLabel, v.eulaBrowseButton};
      default:
        return {v.productCodeBox,    v.productCodeLabel, v.packageCodeLabel,   v.packageCodeBox,
                v.upgradeCodeLabel,  v.upgradeCodeBox,   v.languageLabel,      v.languageList,
                v.bannerFileLabel,   v.bannerFileBox,    v.bannerBrowseButton, v.noQuestionsCheck,
                v.installScopeLabel, v.installScopeList, v.platformLabel,      v.platformList,
                v.addToPathCheck};
    }
  }

  std::set<QWidget*> VisiblePageControls() const {
    std::set<QWidget*> shown;
    for (int page = 0; page < 5; ++page) {
      for (QWidget* control : PageControls(page)) {
        if (control->isVisible()) shown.insert(control);
      }
    }
    return shown;
  }
};

TEST_F(FormViewTest, AFreshFormShowsTheFilesPageAndAnEmptyProject) {
  ASSERT_TRUE(Start());
  CKitbinderView& v = view();
  QStringList tabs;
  for (int i = 0; i < v.tabStrip->count(); ++i) tabs.append(v.tabStrip->tabText(i));
  EXPECT_EQ(tabs, QStringList({"Files to Install", "Product", "Author", "License", "Advanced"}));
  EXPECT_EQ(v.tabStrip->currentIndex(), 0);
  EXPECT_TRUE(v.helpBox->toPlainText().startsWith(
      "Select the files that you want to install. Drag and Drop files into the list"));
  EXPECT_EQ(v.helpBox->font().family(), "Arial");
  EXPECT_EQ(v.helpBox->font().pointSize(), 10);

  QStringList headers;
  for (int i = 0; i < v.fileList->columnCount(); ++i)
    headers.append(v.fileList->headerItem()->text(i));
  EXPECT_EQ(headers,
            QStringList({"Source Path", "Shortcut Name", "Shortcut Icon", "Component GUID",
                         "Use Target Dir", "Desktop Shortcut", "Shortcut Target",
                         "Opens Files of Type", "Type Description", "Start When Setup Exits"}));
  for (int hidden : {4, 5, 6, 7, 8, 9}) {
    EXPECT_TRUE(v.fileList->isColumnHidden(hidden)) << "the visible columns stay as they were";
  }
  EXPECT_EQ(v.fileList->RowCount(), 0);

  QStringList languages;
  for (int i = 0; i < v.languageList->count(); ++i) languages.append(v.languageList->itemText(i));
  EXPECT_EQ(languages, QStringList({"English", "French", "Spanish"}));
  EXPECT_EQ(v.languageList->currentIndex(), 0);
  EXPECT_FALSE(v.noQuestionsCheck->isChecked());
  EXPECT_FALSE(v.addToPathCheck->isChecked());
  EXPECT_EQ(v.installScopeList->currentText(), "For all users");
  EXPECT_EQ(v.platformList->currentText(), "32-bit (x86)");
  EXPECT_TRUE(v.helpBox->toPlainText().contains(
      "defaulting to c:\\Program Files (x86)\\Title (c:\\Program Files\\Title on 32-bit "
      "Windows) where Title"));
}

TEST_F(FormViewTest, EachTabShowsItsOwnControlsAndHelp_AndTypedTextSurvivesSwitching) {
  ASSERT_TRUE(Start());
  const char* help_starts[] = {"Select the files that you want to install.",
                               "Optional. Enter details regarding the product being installed.",
                               "Optional. Enter details regarding the author.\nAuthor is",
                               "Optional.\nEnter the path or Browse to the Rich Text Format",
                               "Optional.\nSet the language that you would like"};
  for (int page : {1, 2, 3, 4, 0}) {
    SCOPED_TRACE(page);
    ClickTab(page);
    const std::vector<QWidget*> expected = PageControls(page);
    EXPECT_EQ(VisiblePageControls(), std::set<QWidget*>(expected.begin(), expected.end()));
    EXPECT_EQ(QApplication::focusWidget(), expected.front());
    EXPECT_TRUE(view().helpBox->isVisible());
    EXPECT_TRUE(view().helpBox->toPlainText().startsWith(help_starts[page]))
        << view().helpBox->toPlainText().toStdString();
  }

  ClickTab(1);
  Type(view().titleBox, "Typed title");
  ClickTab(2);
  Type(view().authorBox, "Typed author");
  ClickTab(1);
  EXPECT_EQ(view().titleBox->text(), "Typed title");
  // The keyboard turns pages too, from the page's first box.
  Press(QKeySequence("Ctrl+Tab"));
  EXPECT_EQ(view().tabStrip->currentIndex(), 2);
  EXPECT_EQ(view().authorBox->text(), "Typed author");
  EXPECT_EQ(QApplication::focusWidget(), view().authorBox);
  Press(QKeySequence("Ctrl+Shift+Tab"));
  EXPECT_EQ(view().tabStrip->currentIndex(), 1);
  EXPECT_EQ(view().titleText, "Typed title");
}

// Where every control goes for a client area of cx by cy pixels, and that its caption fits.
// Labels end 5 pixels before their boxes and boxes 5 before their buttons; the Advanced page
// scrolls, its rows where they would stand on the form, when the form is too short for them.
TEST_F(FormViewTest, ControlsSitWhereThePixelTableSaysAtAnySize) {
  ASSERT_TRUE(Start());
  CKitbinderView& v = view();
  ClickTab(4);  // the Advanced page's area lays itself out when shown
  for (const QSize frame_size : {QSize(800, 600), QSize(620, 470)}) {
    frame().resize(frame_size);
    QApplication::processEvents();
    const int cx = v.width();
    const int cy = v.height();
    SCOPED_TRACE(testing::Message() << "client " << cx << "x" << cy);
    const int d = cx / 2;
    const bool scrolls = v.advancedArea->verticalScrollBar()->maximum() > 0;
    EXPECT_EQ(scrolls, cy < 455);
    // The Advanced page's full width stops short of its scroll bar.
    const int ax = v.advancedPage->width();
    EXPECT_EQ(ax, v.advancedArea->viewport()->width());
    EXPECT_EQ(ax < cx, scrolls);
    const std::vector<std::pair<QWidget*, QRect>> table = {
        {v.tabStrip, {0, 0, cx, cy}},
        {v.titleLabel, {10, 50, 90, 19}},
        {v.authorLabel, {10, 50, 90, 19}},
        {v.productCodeLabel, {10, 50, 90, 19}},
        {v.eulaFileLabel, {10, 50, 90, 19}},
        {v.versionLabel, {10, 75, 90, 19}},
        {v.packageCodeLabel, {10, 75, 90, 19}},
        {v.urlLabel, {10, 75, 30, 19}},
        {v.upgradeCodeLabel, {10, 100, 90, 19}},
        {v.languageLabel, {10, 125, 90, 19}},
        {v.bannerFileLabel, {10, 150, 90, 19}},
        {v.titleBox, {105, 50, d, 19}},
        {v.authorBox, {105, 50, d, 19}},
        {v.productCodeBox, {105, 50, d, 19}},
        {v.versionBox, {105, 75, d, 19}},
        {v.urlBox, {105, 75, d, 19}},
        {v.packageCodeBox, {105, 75, d, 19}},
        {v.upgradeCodeBox, {105, 100, d, 19}},
        {v.bannerFileBox, {105, 150, ax - 180, 19}},
        {v.bannerBrowseButton, {ax - 70, 150, 60, 20}},
        {v.noQuestionsCheck, {105, 175, 200, 20}},
        {v.addToPathCheck, {105, 250, 250, 20}},
        {v.externalCabinetsCheck, {105, 300, 250, 20}},
        {v.signCertificateBox, {105, 325, ax - 180, 19}},
        {v.timestampBox, {105, 350, d, 19}},
        {v.eulaFileBox, {105, 50, cx - 180, 19}},
        {v.eulaBrowseButton, {cx - 70, 50, 60, 20}},
        {v.fileList, {10, 50, cx - 20, cy - 190}},
        {v.addButton, {cx - 200, cy - 130, 60, 20}},
        {v.removeButton, {cx - 135, cy - 130, 60, 20}},
        {v.propertiesButton, {cx - 70, cy - 130, 60, 20}},
        {v.helpBox, {10, cy - 100, cx - 20, 90}},
    };
    for (const auto& [control, place] : table) {
      EXPECT_EQ(QRect(control->mapTo(&v, QPoint()), control->size()), place)
          << control->metaObject()->className();
    }
    // Closed, the drop-down keeps its own height; 100 is its height when open.
    EXPECT_EQ(v.languageList->mapTo(&v, QPoint()), QPoint(105, 125));
    EXPECT_EQ(v.languageList->width(), d);
    EXPECT_EQ(v.fileList->columnWidth(0), (cx / 8) * 4);
    EXPECT_EQ(v.fileList->columnWidth(1), cx / 8);
    EXPECT_EQ(v.fileList->columnWidth(2), cx - cx / 8 - (cx / 8) * 4 - 25);
    // The Advanced page ends above the help text, scrolled or not.
    EXPECT_LE(v.advancedArea->geometry().bottom(), v.helpBox->geometry().top());
  }
  EXPECT_EQ(v.width(), 620);
  frame().resize(800, 600);
  QApplication::processEvents();
  ASSERT_EQ(v.width(), 800);
  EXPECT_EQ(v.fileList->columnWidth(0), 400);
  EXPECT_EQ(v.fileList->columnWidth(1), 100);
  EXPECT_EQ(v.fileList->columnWidth(2), 275);

  // In the form's font every caption fits its fixed place.
  for (QLabel* label : v.findChildren<QLabel*>()) {
    EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
  }
  for (QCheckBox* box : {v.noQuestionsCheck, v.addToPathCheck, v.externalCabinetsCheck})
    EXPECT_LE(box->sizeHint().width(), box->width()) << box->text().toStdString();
  // A button's caption must stay inside its frame (two pixels a side).
  for (QPushButton* button : v.findChildren<QPushButton*>()) {
    const QString caption = button->text().remove('&');
    EXPECT_LE(button->fontMetrics().horizontalAdvance(caption), button->width() - 4)
        << caption.toStdString();
  }
}

TEST_F(FormViewTest, AProjectSavedUnchangedIsWrittenAsItWasRead) {
  const std::string path = WriteFile("full.kbr", kFullProject);
  ASSERT_TRUE(Start());
  Open(path);
  CKitbinderView& v = view();
  EXPECT_EQ(v.titleBox->text(), "Sample");
  EXPECT_EQ(v.authorBox->text(), "Me");
  EXPECT_EQ(v.urlBox->text(), "https://example.org/");
  EXPECT_EQ(v.eulaFileBox->text(), "C:\\src\\eula.rtf");
  EXPECT_EQ(v.bannerFileBox->text(), "C:\\src\\banner.jpg");
  EXPECT_EQ(v.upgradeCodeBox->text(), "{BBBBBBBB-2222-3333-4444-555555555555}");
  EXPECT_EQ(v.languageList->currentText(), "Spanish");
  EXPECT_TRUE(v.noQuestionsCheck->isChecked());
  EXPECT_EQ(v.installScopeList->currentText(), "Either, the user chooses");
  EXPECT_EQ(v.platformList->currentText(), "64-bit (x64)");
  EXPECT_TRUE(v.addToPathCheck->isChecked());
  EXPECT_TRUE(v.externalCabinetsCheck->isChecked());
  EXPECT_TRUE(v.helpBox->toPlainText().contains(
      "defaulting to c:\\Program Files\\Title for all users, or the user's own "
      "AppData\\Local\\Programs\\Title where Title"));
  ASSERT_EQ(v.fileList->RowCount(), 2);
  const QStringList row0 = {"C:\\src\\app.exe",
                            "Sample",
                            "C:\\src\\app.ico",
                            "0C8E2B7A-1D3F-4A5B-9C6D-7E8F9A0B1C2D",
                            "1",
                            "1"};
  for (int column = 0; column < 6; ++column)
    EXPECT_EQ(v.fileList->ItemText(0, column), row0[column]);
  EXPECT_EQ(v.fileList->ItemText(1, 4), "0");
  EXPECT_EQ(v.fileList->ItemText(1, 5), "0");
  EXPECT_FALSE(doc().IsModified());

  std::filesystem::remove(path);
  Press(QKeySequence("Ctrl+S"));  // the file is gone: Save asks where, proposing its path
  ASSERT_EQ(dialogs.proposed.size(), 1u);
  EXPECT_EQ(dialogs.proposed[0], QString::fromStdString(path));
  EXPECT_EQ(ReadText(path), "");
  dialogs.Answer(path);
  Press(QKeySequence("Ctrl+S"));
  EXPECT_EQ(ReadText(path), kFullProject);

  // The check box and the language list are part of the project like the boxes.
  ClickTab(4);
  QTest::mouseClick(v.noQuestionsCheck, Qt::LeftButton);
  EXPECT_TRUE(doc().IsModified());
  v.languageList->setFocus();
  QTest::keyClick(v.languageList, Qt::Key_Up);
  EXPECT_EQ(v.languageList->currentText(), "French");
  Press(QKeySequence("Ctrl+S"));
  EXPECT_FALSE(doc().IsModified());
  std::string expected = kFullProject;
  expected.replace(expected.find("language=es"), 11, "language=fr");
  expected.replace(expected.find("noquestions=true"), 16, "noquestions=false");
  EXPECT_EQ(ReadText(path), expected);

  // So are the install choices; the defaults leave no key behind.
  v.installScopeList->setFocus();
  QTest::keyClick(v.installScopeList, Qt::Key_Up);
  EXPECT_EQ(v.installScopeList->currentText(), "For the current user");
  v.platformList->setFocus();
  QTest::keyClick(v.platformList, Qt::Key_Up);
  EXPECT_TRUE(doc().IsModified());
  Press(QKeySequence("Ctrl+S"));
  expected.replace(expected.find("installscope=both\r\nplatform=x64\r\n"), 33,
                   "installscope=user\r\n");
  EXPECT_EQ(ReadText(path), expected);
  ClickTab(4);
  QTest::mouseClick(v.addToPathCheck, Qt::LeftButton);
  EXPECT_TRUE(doc().IsModified());
  Press(QKeySequence("Ctrl+S"));
  expected.replace(expected.find("addtopath=true\r\n"), 16, "");
  EXPECT_EQ(ReadText(path), expected);
  QTest::mouseClick(v.externalCabinetsCheck, Qt::LeftButton);
  Press(QKeySequence("Ctrl+S"));
  expected.replace(expected.find("externalcabinets=true\r\n"), 23, "");
  EXPECT_EQ(ReadText(path), expected);
  ClickTab(0);
  EXPECT_TRUE(v.helpBox->toPlainText().contains(
      "defaulting to the user's own c:\\Users\\Name\\AppData\\Local\\Programs\\Title "
      "where"));

  // A row without a path is no file: it is not written, and the others keep numbers 0, 1.
  ClickTab(0);
  v.fileList->InsertItem(1, "");
  Press(QKeySequence("Ctrl+S"));
  EXPECT_EQ(ReadText(path), expected);

  // A product code typed in was made for no known version: the next build keeps it.
  ClickTab(4);
  Type(v.productCodeBox, "{22222222-2222-3333-4444-555555555555}");
  Press(QKeySequence("Ctrl+S"));
  CProjectSettings saved;
  saved.Load(path);
  EXPECT_EQ(saved.productcode, "{22222222-2222-3333-4444-555555555555}");
  EXPECT_EQ(saved.productcodeversion, "");
}

TEST_F(FormViewTest, TheLanguageListFollowsOnlyTheCodesItKnows) {
  const std::string french = WriteFile("fr.kbr", "[properties]\r\ntitle=F\r\nlanguage=fr\r\n");
  const std::string german = WriteFile("de.kbr", "[properties]\r\ntitle=D\r\nlanguage=de\r\n");
  const std::string none = WriteFile("none.kbr", "[properties]\r\ntitle=N\r\n");
  ASSERT_TRUE(Start());
  Open(french);
  EXPECT_EQ(view().languageList->currentText(), "French");
  EXPECT_FALSE(doc().IsModified());

  Open(german);
  EXPECT_EQ(view().titleBox->text(), "D");
  EXPECT_EQ(view().languageList->currentText(), "French") << "an unknown code changes nothing";
  EXPECT_TRUE(doc().IsModified()) << "the form cannot say \"de\"";
  Press(QKeySequence("Ctrl+S"));
  CProjectSettings saved;
  saved.Load(german);
  EXPECT_EQ(saved.language, "fr");
  EXPECT_FALSE(doc().IsModified());

  Open(none);
  EXPECT_EQ(view().languageList->currentText(), "French");
  EXPECT_TRUE(doc().IsModified()) << "a file without a language gets the form's at its next save";
}

TEST_F(FormViewTest, NewEmptiesEveryFieldButKeepsTheLanguage) {
  const std::string path = WriteFile("full.kbr", kFullProject);
  ASSERT_TRUE(Start());
  Open(path);
  ClickTab(4);
  Press(QKeySequence("Ctrl+N"));
  EXPECT_TRUE(boxes->texts.empty()) << "an unchanged project needs no prompt";
  CKitbinderView& v = view();
  for (QLineEdit* box : {v.titleBox, v.versionBox, v.authorBox, v.urlBox, v.eulaFileBox,
                         v.productCodeBox, v.packageCodeBox, v.upgradeCodeBox, v.bannerFileBox}) {
    EXPECT_EQ(box->text(), "");
  }
  EXPECT_EQ(v.fileList->RowCount(), 0);
  EXPECT_FALSE(v.noQuestionsCheck->isChecked());
  EXPECT_FALSE(v.addToPathCheck->isChecked());
  EXPECT_FALSE(v.externalCabinetsCheck->isChecked());
  EXPECT_EQ(v.languageList->currentText(), "Spanish");
  EXPECT_EQ(v.tabStrip->currentIndex(), 0);
  EXPECT_EQ(v.projectFolder, "");
  EXPECT_FALSE(doc().IsModified());
  EXPECT_EQ(frame().windowTitle(), "Untitled - kitbinder");

  // The comments went with the old project.
  ClickTab(1);
  Type(v.titleBox, "Fresh");
  dialogs.Answer(Path("fresh.kbr"));
  Press(QKeySequence("Ctrl+S"));
  CProjectSettings fresh;
  fresh.Load(Path("fresh.kbr"));
  EXPECT_EQ(fresh.title, "Fresh");
  EXPECT_EQ(fresh.comments, "");
  EXPECT_EQ(fresh.productcodeversion, "");
  EXPECT_EQ(fresh.language, "es");
}

TEST_F(FormViewTest, BrowseButtonsOfferTheirFileTypeFromTheCurrentFolder) {
  const std::string project =
      WriteFile("work/tool.kbr", "[properties]\r\ntitle=T\r\nlanguage=en\r\n");
  ASSERT_TRUE(Start());
  Open(project);
  const QString work = QString::fromStdString(Path("work"));

  ClickTab(3);
  dialogs.Answer(Path("work/eula.rtf"));
  QTest::mouseClick(view().eulaBrowseButton, Qt::LeftButton);
  EXPECT_EQ(dialogs.filters.back(), "Rich Text Documents (*.rtf)");
  EXPECT_EQ(dialogs.folders.back(), work);
  EXPECT_EQ(view().eulaFileBox->text(), QString::fromStdString(Path("work/eula.rtf")));
  EXPECT_TRUE(doc().IsModified());

  ClickTab(4);
  Type(view().bannerFileBox, "typed.jpg");
  dialogs.Cancel();
  QTest::mouseClick(view().bannerBrowseButton, Qt::LeftButton);
  EXPECT_EQ(dialogs.filters.back(), "Jpeg Files (*.jpg)");
  EXPECT_EQ(dialogs.folders.back(), work);
  EXPECT_EQ(view().bannerFileBox->text(), "typed.jpg") << "Cancel changes nothing";
  ClickTab(3);
  EXPECT_EQ(view().eulaFileBox->text(), QString::fromStdString(Path("work/eula.rtf")));
}

// A value the build would refuse is marked as the user leaves its box; the mark stops nothing.
TEST_F(FormViewTest, FieldsMarkWhatABuildWouldRefuseWhenLeft) {
  const std::string project =
      WriteFile("tool.kbr", "[properties]\r\ntitle=Tool\r\nupgradecode=not a guid\r\n[files]\r\n");
  ASSERT_TRUE(Start());
  Open(project);
  EXPECT_THAT(FieldMark(view().upgradeCodeBox).toStdString(),
              testing::HasSubstr("\"not a guid\" is not a GUID"))
      << "a loaded value is checked at once";
  EXPECT_EQ(FieldMark(view().titleBox), "");

  struct Case {
    int page;
    QLineEdit* box;
    QString bad;
    std::string says;
    QString good;
  };
  const Case cases[] = {
      {1, view().titleBox, "Tool: 2", "holds \":\"", "Tool 2"},
      {1, view().versionBox, "1.x", "major.minor.build", "1.2.3"},
      {4, view().productCodeBox, "{1234}", "is not a GUID",
       "{0F1E2D3C-4B5A-4697-8877-665544332211}"},
      {4, view().packageCodeBox, "nope", "is not a GUID", ""},
      {3, view().eulaFileBox, "missing.rtf", "licence file missing.rtf does not exist", ""},
      {4, view().bannerFileBox, "tool.kbr", "banner tool.kbr is not a JPEG or BMP", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bad.toStdString());
    ClickTab(c.page);
    Type(c.box, c.bad);
    EXPECT_EQ(FieldMark(c.box), "") << "no mark while the user types";
    QTest::keyClick(c.box, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), c.box) << "the user moves on";
    EXPECT_THAT(FieldMark(c.box).toStdString(), testing::HasSubstr(c.says));
    EXPECT_EQ(c.box->toolTip(), FieldMark(c.box));
    EXPECT_EQ(c.box->text(), c.bad) << "the value stays as typed";
    Type(c.box, c.good);
    QTest::keyClick(c.box, Qt::Key_Tab);
    EXPECT_EQ(FieldMark(c.box), "");
  }
  EXPECT_TRUE(boxes->texts.empty()) << "marks, no messages";
}

// Each file dialog says what it chooses and starts where the user works: the project's folder,
// or the folder last chosen from, which the settings keep for the next run.
TEST_F(FormViewTest, FileDialogsSayWhatTheyChooseAndStartWhereTheUserWorks) {
  const std::string project = WriteFile("work/tool.kbr", "[properties]\r\ntitle=T\r\n");
  const std::string eula = WriteFile("other/eula.rtf", "{\\rtf1 Yes}");
  const std::string readme = WriteFile("files/readme.txt", "read me");
  std::filesystem::current_path(folder.path());
  const QString work = QString::fromStdString(Path("work"));
  ASSERT_TRUE(Start());

  dialogs.Answer(project);
  Press(QKeySequence("Ctrl+O"));
  EXPECT_EQ(dialogs.titles.back(), "Open a project");
  EXPECT_EQ(dialogs.folders.back().toStdString(), folder.path().string())
      << "nothing chosen yet: the folder it started in";

  ClickTab(3);
  dialogs.Answer(eula);
  QTest::mouseClick(view().eulaBrowseButton, Qt::LeftButton);
  EXPECT_EQ(dialogs.titles.back(), "Choose the licence file");
  EXPECT_EQ(dialogs.folders.back(), work) << "the project's folder";

  ClickTab(0);
  dialogs.Answer(readme);
  QTest::mouseClick(view().addButton, Qt::LeftButton);
  EXPECT_EQ(dialogs.titles.back(), "Add files");
  EXPECT_EQ(dialogs.folders.back().toStdString(), Path("other")) << "where a file was last chosen";
  dialogs.Cancel();
  QTest::mouseClick(view().addButton, Qt::LeftButton);
  EXPECT_EQ(dialogs.folders.back().toStdString(), Path("files"));
  dialogs.Cancel();
  Press(QKeySequence("Ctrl+Shift+A"));
  EXPECT_EQ(dialogs.titles.back(), "Add a folder");

  ClickTab(4);
  dialogs.Cancel();
  QTest::mouseClick(view().bannerBrowseButton, Qt::LeftButton);
  EXPECT_EQ(dialogs.titles.back(), "Choose the banner image");
  EXPECT_EQ(dialogs.folders.back(), work);
  dialogs.Cancel();
  QTest::mouseClick(view().signBrowseButton, Qt::LeftButton);
  EXPECT_EQ(dialogs.titles.back(), "Choose the signing certificate");

  dialogs.Cancel();
  Press(QKeySequence("Ctrl+O"));
  EXPECT_EQ(dialogs.folders.back(), work) << "the open project's folder";
  // What the next run starts in.
  EXPECT_EQ(LastDialogFolder(kProjectsFolder), work);
  EXPECT_EQ(LastDialogFolder(kFilesFolder).toStdString(), Path("files"));
  EXPECT_EQ(dialogs.unanswered, 0);
}

}  // namespace
}  // namespace kb::test

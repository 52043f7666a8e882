#ifndef KITBINDER_UI_KITBINDER_VIEW_H_
#define KITBINDER_UI_KITBINDER_VIEW_H_

#include <QFont>
#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "framework/form_view.h"
#include "package/project_problem.h"
#include "project/project_settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QTabWidget;

namespace kb {

class CFileListCtrl;
class CKitbinderDoc;

// The program's working surface: the open project on five tab pages ("Files to Install",
// "Product", "Author", "License", "Advanced") with a help text below each page, and the
// Package ▸ Build and Install commands.
//
// While the user edits, the controls are the working copy of the project; `storedSettings`
// is the project as last loaded, saved or reset, and the model is rebuilt from the form
// (FillSettings) whenever it is needed: to save, to tell whether there are unsaved changes,
// and to build. The document reaches the project only through ResetProject, LoadProject,
// SaveProject and IsProjectModified.
class CKitbinderView : public CFormView {
 public:
  explicit CKitbinderView(QWidget* parent);
  ~CKitbinderView() override;

  // The size at which every page shows whole.
  QSize sizeHint() const override;

  // After every New and Open: the five tabs (once), page 0 shown.
  void OnInitialUpdate() override;
  // Creates the list's columns and the language entries once, selects `languageIndex`, and
  // shows the files of `storedSettings` as rows (entries with an empty path get none).
  void OnUpdate() override;

  // Shows the selected tab's page: what was typed is kept, the page's controls are shown and
  // its help text loaded.
  void OnSelchangeTab();
  // Hides every control but the tab strip and the help text.
  void HideAllControls();

  // The Browse buttons of the License and Advanced pages.
  void OnBrowseEula();
  void OnBrowseBanner();
  void OnBrowseCertificate();
  // Shows the built package's path and size and the build's time `took` in the status bar.
  void ShowBuiltPackage(std::chrono::steady_clock::duration took);

  // New: empties the form and `storedSettings`; the language choice stays.
  void ResetProject();
  // Open: reads the project file at `path` into `storedSettings` and the form, and makes its
  // folder the current one. A file that is no project reads as an empty project.
  void LoadProject(const std::string& path);
  // Save and Save As: writes the form to the project file at `path`; an empty title becomes the
  // file's name without extension. On success `storedSettings` is the form and the project's
  // folder is the current one. Returns false, after a message naming the file and the reason,
  // when the file could not be written: then `storedSettings`, the title and the folder are as
  // they were, so the project still counts as modified.
  bool SaveProject(const std::string& path);
  // Whether the form differs from `storedSettings`.
  bool IsProjectModified();
  // Writes the form's contents into `settings` (which need not be empty): properties, language,
  // and one file entry per row, kept as KeepWhatTheFormKeeps keeps them (the rows' shortcut
  // icons as the icons; no `id` and no `componentid`, so every build makes new ones).
  void FillSettings(CProjectSettings& settings);
  // `projectFolder` becomes the folder of `path`. The process's current folder stays as it is:
  // a build running on another thread finds the project's files through `projectFolder`.
  void RememberProjectFolder(const std::string& path);

  // Checks `settings`, filled from the form, as a build would. When the build would refuse
  // it, shows every problem in one error message, each after the page and field (or file row)
  // where it lies, takes the user to the first, and returns true.
  bool ShowBuildProblems(CProjectSettings settings);
  // Marks each box whose value a build would refuse (the title, the version, the codes, the
  // licence and banner files), with the reason in its tooltip, and unmarks the others. The
  // marks block nothing.
  void MarkFieldProblems();

  // Package ▸ Build (F7): builds the package of the project on screen beside its project file,
  // saving a project that was never saved first, and shows the outcome and the codes the build
  // generated.
  void OnPackageBuild();
  // Package ▸ Install (F5): opens the built package with the desktop's handler.
  void OnPackageInstall();

  // The file list's buttons, keys and double click.
  void OnAddFiles();
  // Ctrl+Shift+A: asks for a folder and adds it as a folder row (the keyboard's way to what a
  // dropped folder does).
  void OnAddFolder();
  void OnRemoveFile();
  void OnFileProperties();
  void OnListKeyDown(int key);
  void OnListReturn();
  void OnListDblClk(int row);
  // Opens the File Properties dialog on `row`; nothing for a row outside the list.
  void EditFileRow(int row);

  // Package ▸ Build and Package ▸ Install.
  bool OnCmdMsg(int id) override;

  std::string projectFolder;
  CProjectSettings storedSettings;
  int languageIndex = 0;
  QFont helpFont;

  // The controls, owned through Qt's parent.
  QTabWidget* tabStrip;
  // The Advanced page's controls lie on `advancedPage`, which scrolls in `advancedArea` when the
  // form is too short to show them all above the help text.
  QScrollArea* advancedArea;
  QWidget* advancedPage;
  QPlainTextEdit* helpBox;
  CFileListCtrl* fileList;
  QPushButton* addButton;
  QPushButton* removeButton;
  QPushButton* propertiesButton;
  QLabel* titleLabel;
  QLineEdit* titleBox;
  QLabel* versionLabel;
  QLineEdit* versionBox;
  QLabel* authorLabel;
  QLineEdit* authorBox;
  QLabel* urlLabel;
  QLineEdit* urlBox;
  QLabel* eulaFileLabel;
  QLineEdit* eulaFileBox;
  QPushButton* eulaBrowseButton;
  QLabel* productCodeLabel;
  QLineEdit* productCodeBox;
  QLabel* packageCodeLabel;
  QLineEdit* packageCodeBox;
  QLabel* upgradeCodeLabel;
  QLineEdit* upgradeCodeBox;
  QLabel* languageLabel;
  QComboBox* languageList;
  QLabel* bannerFileLabel;
  QLineEdit* bannerFileBox;
  QPushButton* bannerBrowseButton;
  QCheckBox* noQuestionsCheck;
  QLabel* installScopeLabel;
  QComboBox* installScopeList;  // InstallScope by index: all users, current user, either
  QLabel* platformLabel;
  QComboBox* platformList;  // TargetPlatform by index: 32-bit, 64-bit
  QCheckBox* addToPathCheck;
  QLabel* compressionLabel;
  QComboBox* compressionList;        // the project's compression by index (kCompressionChoices)
  QCheckBox* externalCabinetsCheck;  // the cabinets go beside the package, not into it
  QLabel* signCertificateLabel;
  QLineEdit* signCertificateBox;
  QPushButton* signBrowseButton;
  QLabel* timestampLabel;
  QLineEdit* timestampBox;

  // The texts bound to the edit boxes.
  std::string authorText;
  std::string productCodeText;
  std::string titleText;
  std::string versionText;
  std::string packageCodeText;
  std::string urlText;
  std::string eulaFileText;
  std::string helpText;
  std::string bannerFileText;
  std::string upgradeCodeText;
  // The project's comments: no control shows them, but they stay with the project from Open
  // to Save (the package carries them).
  std::string commentsText;
  // The version the product code `versionedProductCode` was made for, carried from Open or a
  // build to Save like the comments. A product code typed over it has no version recorded.
  std::string productCodeVersionText;
  std::string versionedProductCode;
  // The signing certificate (a PKCS#12 file) and time-stamp server. The certificate's password
  // is asked for at each build and kept nowhere.
  std::string signCertificateText;
  std::string timestampUrlText;
  // The compression the project file named; kept as it was when the list still shows it (a
  // value of a later version reads as the default and survives Save).
  std::string compressionText;
  bool columnsCreated = false;

 protected:
  void DoDataExchange(CDataExchange& exchange) override;
  // Places every control for a client area of `cx` by `cy` pixels.
  void OnSize(int cx, int cy) override;

 private:
  void CreateControls();
  CKitbinderDoc* Document() const;
  // The controls of tab `page`, the first of them taking the focus.
  std::vector<QWidget*> PageControls(int page) const;
  // Places the Advanced page's controls for a form of `cx` by `cy` pixels.
  void LayOutAdvancedPage(int cx, int cy);
  // Asks for an existing file with `filter`, in a dialog titled `title` that starts in the
  // project's folder, into `text`.
  void BrowseInto(std::string& text, const QString& title, const QString& filter);
  // Where Add and Ctrl+Shift+A start: the folder files were last added from, else the
  // project's.
  QString AddingFolder() const;
  // The boxes MarkFieldProblems checks.
  std::vector<QLineEdit*> CheckedBoxes() const;
  // The page and the control (and, for a file, the row) where `problem` lies.
  struct ProblemPlace {
    int page;
    QWidget* control;
    QString name;  // "Product ▸ Version", "Files to Install, row 2"
  };
  ProblemPlace PlaceOf(const ProjectProblem& problem) const;
};

}  // namespace kb

#endif  // KITBINDER_UI_KITBINDER_VIEW_H_

#ifndef KITBINDER_UI_FILE_PROPERTIES_DLG_H_
#define KITBINDER_UI_FILE_PROPERTIES_DLG_H_

#include <string>

#include "framework/dialog.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kb {

// "File Properties": one file of the project, its source path, the label and icon of its Start
// Menu shortcut, its component GUID, whether the shortcut starts in the target folder and
// whether it is on the desktop too; for a folder, the file inside it that the shortcut starts;
// for a program, the document types it opens (".abc;.abcd") and their description, and whether
// setup offers to start it when it exits. The caller sets
// the members, runs DoModal and reads them back after IDOK; after IDCANCEL they are as the caller
// set them. Nothing is validated: any text is taken as typed.
class CFilePropertiesDlg : public CDialog {
 public:
  // `parent` as for CDialog.
  explicit CFilePropertiesDlg(QWidget* parent);

  // The "..." buttons: keep what was typed, then ask for an existing file starting in
  // `browseFolder` ("All Files (*.*)" for the source, "Icon Files (*.ico)" for the icon) and
  // show the chosen path. Cancelling the file dialog changes nothing.
  void OnBrowseSource();
  void OnBrowseIcon();
  // The target's "...": asks for a file inside the source folder and shows its path below the
  // folder, "/"-separated. A file outside the folder is refused with a message.
  void OnBrowseTarget();

  // The bound values, UTF-8.
  std::string sourcePath;
  std::string iconPath;
  std::string shortcutLabel;
  std::string componentGuid;
  bool workDirIsTargetDir = false;
  bool onDesktopToo = false;
  std::string shortcutTarget;  // for a folder: "bin/tool.exe"
  std::string extensions;      // ".abc;.abcd"
  std::string extensionDescription;
  bool launchOnExit = false;  // the finish dialog offers to start this program
  // Where the "..." buttons start: the project's folder; the current folder when empty.
  std::string browseFolder;

  // The controls, owned through Qt's parent.
  QLineEdit* sourceBox;
  QPushButton* sourceBrowseButton;
  QLineEdit* labelBox;
  QCheckBox* workDirCheck;
  QCheckBox* desktopCheck;
  QLineEdit* iconBox;
  QPushButton* iconBrowseButton;
  QLineEdit* guidBox;
  // Enabled while the source names a folder.
  QLineEdit* targetBox;
  QPushButton* targetBrowseButton;
  QLineEdit* extensionsBox;
  QLineEdit* extensionDescriptionBox;
  QCheckBox* launchCheck;
  QPushButton* okButton;
  QPushButton* cancelButton;

 protected:
  void DoDataExchange(CDataExchange& exchange) override;

 private:
  void CreateControls();
  // Enables the target's controls when `source` (typed or chosen) names a folder.
  void EnableTarget(const QString& source);
  // `source` found in `browseFolder` when relative.
  QString SourceOnDisk(const QString& source) const;
  // Asks for an existing file with `filter`, in a dialog titled `title`, into `path`.
  void BrowseInto(std::string& path, const QString& title, const QString& filter);
};

}  // namespace kb

#endif  // KITBINDER_UI_FILE_PROPERTIES_DLG_H_

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
// whether it is on the desktop too. The
// caller sets the members, runs DoModal and reads them back after IDOK; after IDCANCEL they
// are as the caller set them. Nothing is validated: any text is taken as typed.
class CFilePropertiesDlg : public CDialog {
 public:
  // `parent` as for CDialog.
  explicit CFilePropertiesDlg(QWidget* parent);

  // The "..." buttons: keep what was typed, then ask for an existing file starting in
  // `browseFolder` ("All Files (*.*)" for the source, "Icon Files (*.ico)" for the icon) and
  // show the chosen path. Cancelling the file dialog changes nothing.
  void OnBrowseSource();
  void OnBrowseIcon();

  // The bound values, UTF-8.
  std::string sourcePath;
  std::string iconPath;
  std::string shortcutLabel;
  std::string componentGuid;
  bool workDirIsTargetDir = false;
  bool onDesktopToo = false;
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
  QPushButton* okButton;
  QPushButton* cancelButton;

 protected:
  void DoDataExchange(CDataExchange& exchange) override;

 private:
  void CreateControls();
  // Asks for an existing file with `filter` into `path`.
  void BrowseInto(std::string& path, const QString& filter);
};

}  // namespace kb

#endif  // KITBINDER_UI_FILE_PROPERTIES_DLG_H_

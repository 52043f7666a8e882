#ifndef KITBINDER_UI_BUILD_PROGRESS_DLG_H_
#define KITBINDER_UI_BUILD_PROGRESS_DLG_H_

#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;

namespace kb {

// The window a build shows while it packs the project's files: which file goes in, and how
// much of all the files' data is packed, as a percentage. It has no buttons, and neither
// Escape nor the window's close button closes it: it goes when its owner destroys it at the
// end of the build.
class CBuildProgressDlg : public QDialog {
 public:
  // A dialog over `parent` for the build of the package named `package_name`; not yet shown.
  CBuildProgressDlg(const QString& package_name, QWidget* parent);

  // Shows that file `number` of `count` (from 1), whose path is `file`, is being added and
  // that `percent` (0 to 100) of the files' data is packed.
  void ShowProgress(const QString& file, int number, int count, int percent);

  // Refused: only the build ends the dialog.
  void reject() override;

 private:
  QLabel* file_label_ = nullptr;         // owned through Qt's parent
  QProgressBar* percent_bar_ = nullptr;  // owned through Qt's parent
};

}  // namespace kb

#endif  // KITBINDER_UI_BUILD_PROGRESS_DLG_H_

#ifndef KITBINDER_UI_BUILD_PROGRESS_DLG_H_
#define KITBINDER_UI_BUILD_PROGRESS_DLG_H_

#include <QDialog>
#include <QString>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace kb {

// The window a build shows while it packs the project's files: which file goes in, how much of
// all the files' data is packed, as a percentage, and a Cancel button. Cancel, Escape and the
// window's close button ask the build to stop (once; the dialog then says it is cancelling) but
// do not close the dialog: it goes when its owner destroys it at the end of the build.
class CBuildProgressDlg : public QDialog {
 public:
  // A dialog over `parent` for the build of the package named `package_name`; not yet shown.
  // `cancel` is called, on this thread, when the user cancels.
  CBuildProgressDlg(const QString& package_name, QWidget* parent, std::function<void()> cancel);

  // Shows that file `number` of `count` (from 1), whose path is `file`, is being added and
  // that `percent` (0 to 100) of the files' data is packed.
  void ShowProgress(const QString& file, int number, int count, int percent);

  // Cancels the build rather than closing the dialog.
  void reject() override;

 private:
  std::function<void()> cancel_;
  QString package_name_;
  QLabel* heading_label_ = nullptr;       // owned through Qt's parent
  QLabel* file_label_ = nullptr;          // owned through Qt's parent
  QProgressBar* percent_bar_ = nullptr;   // owned through Qt's parent
  QPushButton* cancel_button_ = nullptr;  // owned through Qt's parent
};

}  // namespace kb

#endif  // KITBINDER_UI_BUILD_PROGRESS_DLG_H_

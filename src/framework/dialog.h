#ifndef KITBINDER_FRAMEWORK_DIALOG_H_
#define KITBINDER_FRAMEWORK_DIALOG_H_

#include <QDialog>

#include "framework/data_exchange.h"

namespace kb {

// A modal dialog whose controls are bound to members through DoDataExchange. The caller sets
// the members, calls DoModal, and reads them after IDOK:
//
//   CFilePropertiesDlg dialog(parent);
//   dialog.sourcePath = row_path;
//   if (dialog.DoModal() == IDOK) Use(dialog.sourcePath);
//
// DoModal shows the members in the controls; OK copies the controls back into the members;
// Cancel (the button, Escape or closing the window) leaves the members exactly as they were
// before DoModal, even when a handler inside the dialog called UpdateData(true) meanwhile.
class CDialog : public QDialog {
 public:
  // `parent` owns nothing of the dialog; a null parent makes the dialog centre on the program's
  // main window.
  explicit CDialog(QWidget* parent);

  // Runs the dialog modally. Returns IDOK or IDCANCEL.
  int DoModal();

  // Copies the controls into the members (true) or the members into the controls (false).
  // Returns true.
  bool UpdateData(bool save_and_validate = true);

  void accept() override;

 protected:
  // Lists the dialog's bindings.
  virtual void DoDataExchange(CDataExchange& exchange) = 0;
};

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_DIALOG_H_

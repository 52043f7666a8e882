#ifndef KITBINDER_APP_ABOUT_DLG_H_
#define KITBINDER_APP_ABOUT_DLG_H_

#include "framework/dialog.h"

namespace kb {

class CHyperlinkStatic;

// Help ▸ About: the application's icon, "kitbinder Version 1.0.0.6", the notice line, the
// web address as a link that opens in the desktop's browser, and OK.
class CAboutDlg : public CDialog {
 public:
  explicit CAboutDlg(QWidget* parent);

  CHyperlinkStatic* link() const { return link_; }

 protected:
  void DoDataExchange(CDataExchange&) override {}

 private:
  CHyperlinkStatic* link_;  // owned through Qt's parent
};

}  // namespace kb

#endif  // KITBINDER_APP_ABOUT_DLG_H_

#ifndef KITBINDER_APP_MAIN_FRAME_H_
#define KITBINDER_APP_MAIN_FRAME_H_

#include <QTimer>
#include <array>

#include "framework/frame_window.h"

class QLabel;
class QToolBar;

namespace kb {

// kitbinder's main window: the File, View, Package and Help menus with their shortcuts and
// status-bar prompts, the toolbar (New, Open, Save | Build | Install), and the status bar with
// its idle text "Ready" and the CAP, NUM and SCRL indicators. The View menu shows and hides
// the two bars.
class CMainFrame : public CFrameWnd {
 public:
  // The number of projects the File menu lists.
  static constexpr int kRecentFileCount = 4;

  CMainFrame();

  // View ▸ Toolbar and View ▸ Status Bar.
  bool OnCmdMsg(int id) override;

  QToolBar* toolBar() const { return tool_bar_; }

 private:
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  // Lights each lock indicator whose key is on; dims those that are off or unknown.
  void UpdateIndicators();
  void ToggleBar(QWidget* bar, int id);

  QToolBar* tool_bar_ = nullptr;         // owned through Qt's parent
  std::array<QLabel*, 3> indicators_{};  // owned through Qt's parent
  QTimer indicator_timer_;
};

}  // namespace kb

#endif  // KITBINDER_APP_MAIN_FRAME_H_

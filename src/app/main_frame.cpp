#include "app/main_frame.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>
#include <string_view>

#include "framework/keyboard_indicators.h"
#include "framework/standard_ids.h"
#include "framework/utf8_text.h"
#include "ui/command_ids.h"

namespace kb {
namespace {

// A menu item: its command, text and prompt (status-bar text, then the tooltip after a line
// feed). Command 0 is a separator; kRecentFiles is the place of the recent-file list.
struct MenuItem {
  std::string_view menu;
  int id;
  std::string_view text;
  std::string_view prompt;
};

constexpr int kRecentFiles = -1;

constexpr MenuItem kMenuItems[] = {
    {"&File", ID_FILE_NEW, "&New\tCtrl+N", "Create a new document\nNew"},
    {"&File", ID_FILE_OPEN, "&Open...\tCtrl+O", "Open an existing document\nOpen"},
    {"&File", ID_FILE_SAVE, "&Save\tCtrl+S", "Save the active document\nSave"},
    {"&File", ID_FILE_SAVE_AS, "Save &As...", "Save the active document with a new name\nSave As"},
    {"&File", 0, "", ""},
    {"&File", kRecentFiles, "", ""},
    {"&File", 0, "", ""},
    {"&File", ID_APP_EXIT, "E&xit", "Quit the application; prompts to save documents\nExit"},
    {"&View", ID_VIEW_TOOLBAR, "&Toolbar", "Show or hide the toolbar\nToggle ToolBar"},
    {"&View", ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar\nToggle StatusBar"},
    {"&Package", ID_PACKAGE_BUILD, "&Build (F7)", "Build the current package\nBuild"},
    {"&Package", ID_PACKAGE_INSTALL, "&Install (F5)", "Install Package\nInstall"},
    {"&Help", ID_HELP_INDEX, "&Contents", "Show Help\nHelp"},
    {"&Help", ID_APP_ABOUT, "&About kitbinder...",
     "Display program information, version number and copyright\nAbout"},
};

struct Accelerator {
  int id;
  std::string_view key;
};

constexpr Accelerator kAccelerators[] = {
    {ID_FILE_NEW, "Ctrl+N"},    {ID_FILE_OPEN, "Ctrl+O"}, {ID_FILE_SAVE, "Ctrl+S"},
    {ID_PACKAGE_INSTALL, "F5"}, {ID_PACKAGE_BUILD, "F7"}, {ID_HELP_INDEX, "F1"},
};

// The toolbar's buttons in order; 0 is a separator.
struct ToolButton {
  int id;
  std::string_view image;
};

constexpr ToolButton kToolButtons[] = {
    {ID_FILE_NEW, ":/toolbar/new.png"},
    {ID_FILE_OPEN, ":/toolbar/open.png"},
    {ID_FILE_SAVE, ":/toolbar/save.png"},
    {0, ""},
    {ID_PACKAGE_BUILD, ":/toolbar/build.png"},
    {0, ""},
    {ID_PACKAGE_INSTALL, ":/toolbar/install.png"},
};

constexpr std::array<std::string_view, 3> kIndicatorTexts = {"CAP", "NUM", "SCRL"};
constexpr std::array<LockKey, 3> kIndicatorKeys = {LockKey::kCapsLock, LockKey::kNumLock,
                                                   LockKey::kScrollLock};
constexpr int kIndicatorPollMilliseconds = 300;

QKeySequence ShortcutOf(int id) {
  for (const Accelerator& accelerator : kAccelerators) {
    if (accelerator.id == id) return QKeySequence(FromUtf8(accelerator.key));
  }
  return {};
}

// Whether the item's text already names its key ("&Build (F7)"), so that the menu must not
// show the key a second time beside it.
bool TextNamesKey(const MenuItem& item) {
  const QString key = ShortcutOf(item.id).toString(QKeySequence::NativeText);
  return !key.isEmpty() && FromUtf8(item.text).contains('(' + key + ')');
}

}  // namespace

CMainFrame::CMainFrame() {
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();
}

void CMainFrame::CreateMenus() {
  QMenu* menu = nullptr;
  std::string_view menu_name;
  for (const MenuItem& item : kMenuItems) {
    if (item.menu != menu_name) {
      menu = menuBar()->addMenu(FromUtf8(item.menu));
      menu_name = item.menu;
    }
    if (item.id == 0) {
      menu->addSeparator();
    } else if (item.id == kRecentFiles) {
      AddRecentFileCommands(menu, kRecentFileCount);
    } else {
      const bool named = TextNamesKey(item);
      QAction* action = AddCommand(item.id, FromUtf8(item.text), FromUtf8(item.prompt),
                                   named ? QKeySequence() : ShortcutOf(item.id));
      menu->addAction(action);
      // The key still works: through a shortcut of the window rather than of the item.
      if (named) {
        connect(new QShortcut(ShortcutOf(item.id), this), &QShortcut::activated, action,
                &QAction::trigger);
      }
    }
  }
  for (const int id : {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR}) {
    Command(id)->setCheckable(true);
    Command(id)->setChecked(true);
  }
}

void CMainFrame::CreateToolBar() {
  tool_bar_ = addToolBar(QStringLiteral("Standard"));
  tool_bar_->setObjectName(QStringLiteral("toolBar"));
  tool_bar_->setIconSize(QSize(16, 15));
  tool_bar_->setMovable(true);
  for (const ToolButton& button : kToolButtons) {
    if (button.id == 0) {
      tool_bar_->addSeparator();
      continue;
    }
    QAction* action = Command(button.id);
    action->setIcon(QIcon(FromUtf8(button.image)));
    // The button's tip names its key: "Build (F7)".
    if (const QKeySequence key = ShortcutOf(button.id); !key.isEmpty()) {
      action->setToolTip(action->toolTip() + " (" + key.toString(QKeySequence::NativeText) + ')');
    }
    tool_bar_->addAction(action);
  }
  // Hidden from its own context menu, the bar stays in step with View ▸ Toolbar.
  connect(tool_bar_, &QToolBar::visibilityChanged, this,
          [this] { Command(ID_VIEW_TOOLBAR)->setChecked(!tool_bar_->isHidden()); });
}

void CMainFrame::CreateStatusBar() {
  statusBar()->addWidget(new QLabel(QStringLiteral("Ready")), 1);
  for (std::size_t i = 0; i < indicators_.size(); ++i) {
    indicators_[i] = new QLabel(FromUtf8(kIndicatorTexts[i]));
    indicators_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    indicators_[i]->setAlignment(Qt::AlignCenter);
    indicators_[i]->setMinimumWidth(indicators_[i]->fontMetrics().horizontalAdvance("SCRL") + 8);
    statusBar()->addPermanentWidget(indicators_[i]);
  }
  UpdateIndicators();
  connect(&indicator_timer_, &QTimer::timeout, this, [this] { UpdateIndicators(); });
  indicator_timer_.start(kIndicatorPollMilliseconds);
}

void CMainFrame::UpdateIndicators() {
  if (statusBar()->isHidden()) return;
  for (std::size_t i = 0; i < indicators_.size(); ++i) {
    indicators_[i]->setEnabled(LockKeyState(kIndicatorKeys[i]).value_or(false));
  }
}

void CMainFrame::ToggleBar(QWidget* bar, int id) {
  bar->setHidden(!bar->isHidden());
  Command(id)->setChecked(!bar->isHidden());
}

bool CMainFrame::OnCmdMsg(int id) {
  switch (id) {
    case ID_VIEW_TOOLBAR:
      ToggleBar(tool_bar_, id);
      return true;
    case ID_VIEW_STATUS_BAR:
      ToggleBar(statusBar(), id);
      return true;
    default:
      return false;
  }
}

}  // namespace kb

#include "framework/frame_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

#include "framework/document.h"
#include "framework/dropped_files.h"
#include "framework/form_view.h"
#include "framework/standard_ids.h"
#include "framework/win_app.h"

namespace kb {
namespace {

// "&1 ~/work/tool.kbr": a number to choose it by, and the home folder shortened.
QString RecentFileText(int number, const QString& path) {
  QString shown = QDir::toNativeSeparators(path);
  const QString home = QDir::homePath();
  if (shown.startsWith(home + '/')) shown = '~' + shown.mid(home.size());
  return QStringLiteral("&%1 %2").arg(number).arg(shown.replace('&', QStringLiteral("&&")));
}

constexpr int kDefaultWidth = 800;
constexpr int kDefaultHeight = 600;

}  // namespace

CFrameWnd::CFrameWnd() {
  setAcceptDrops(true);
}

void CFrameWnd::Attach(CDocument* document, CFormView* view) {
  document_ = document;
  view_ = view;
  setCentralWidget(view);
  // No placement is stored: the window opens at a size that suits the screen.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    resize(InitialSize(screen->availableSize()));
  }
}

// Three quarters of the screen, at most 800 by 600; but never so small that the view is cut
// when the screen has room for it whole (its size hint), as on a screen scaled up.
QSize CFrameWnd::InitialSize(const QSize& available) const {
  return QSize(kDefaultWidth, kDefaultHeight)
      .boundedTo(available * 3 / 4)
      .expandedTo(sizeHint())
      .boundedTo(available);
}

QAction* CFrameWnd::AddCommand(int id, const QString& text, const QString& prompt,
                               const QKeySequence& shortcut) {
  auto* action = new QAction(text, this);
  const qsizetype line_feed = prompt.indexOf('\n');
  action->setStatusTip(prompt.left(line_feed));
  if (line_feed >= 0) action->setToolTip(prompt.mid(line_feed + 1));
  action->setShortcut(shortcut);
  connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
  addAction(action);
  commands_[id] = action;
  return action;
}

QAction* CFrameWnd::Command(int id) const {
  const auto found = commands_.find(id);
  return found == commands_.end() ? nullptr : found->second;
}

void CFrameWnd::RouteCommand(int id) {
  if (view_ && view_->OnCmdMsg(id)) return;
  if (document_ && document_->OnCmdMsg(id)) return;
  if (OnCmdMsg(id)) return;
  AfxGetApp()->OnCmdMsg(id);
}

void CFrameWnd::OnUpdateFrameTitle() {
  const QString title = document_ ? document_->GetTitle() : QString();
  setWindowTitle(title.isEmpty() ? AfxGetApp()->AppName()
                                 : title + QStringLiteral(" - ") + AfxGetApp()->AppName());
}

void CFrameWnd::AddRecentFileCommands(QMenu* menu, int count) {
  recent_placeholder_ = menu->addAction(QStringLiteral("Recent File"));
  recent_placeholder_->setEnabled(false);
  for (int i = 0; i < count; ++i) {
    menu->addAction(
        AddCommand(ID_FILE_MRU_FILE1 + i, QString(), QStringLiteral("Open this document")));
  }
  UpdateRecentFileMenu({});
}

void CFrameWnd::UpdateRecentFileMenu(const QStringList& paths) {
  if (recent_placeholder_) recent_placeholder_->setVisible(paths.isEmpty());
  for (int i = 0;; ++i) {
    QAction* action = Command(ID_FILE_MRU_FILE1 + i);
    if (!action) break;
    action->setVisible(i < paths.size());
    if (i < paths.size()) action->setText(RecentFileText(i + 1, paths[i]));
  }
}

void CFrameWnd::closeEvent(QCloseEvent* event) {
  if (InModalState()) {
    event->ignore();
    // A copy: the work may end while the handler waits for the user.
    if (const std::function<void()> handler = close_requested_.back()) handler();
    return;
  }
  if (document_ && !document_->SaveModified()) {
    event->ignore();
    return;
  }
  event->accept();
}

void CFrameWnd::dragEnterEvent(QDragEnterEvent* event) {
  if (!InModalState() && !DroppedLocalFiles(event->mimeData()).isEmpty()) {
    event->acceptProposedAction();
  }
}

void CFrameWnd::dropEvent(QDropEvent* event) {
  if (InModalState()) return;
  const QStringList files = DroppedLocalFiles(event->mimeData());
  event->acceptProposedAction();
  for (const QString& file : files) AfxGetApp()->OpenDocumentFile(file);
}

}  // namespace kb

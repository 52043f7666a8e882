#ifndef KITBINDER_FRAMEWORK_FRAME_WINDOW_H_
#define KITBINDER_FRAMEWORK_FRAME_WINDOW_H_

#include <QKeySequence>
#include <QMainWindow>
#include <QString>
#include <functional>
#include <map>
#include <vector>

#include "framework/cmd_target.h"

class QAction;
class QMenu;

namespace kb {

class CDocument;
class CFormView;

// The program's main window: shows the view, carries the commands, keeps its caption as
// "<document title> - <application name>", asks to save before it closes, and opens project
// files dropped on it (outside controls that take drops themselves). In its modal state (while
// long work holds the document) it does not close and takes no drops.
class CFrameWnd : public QMainWindow, public CCmdTarget {
 public:
  CFrameWnd();

  // Makes `view` the window's content and `document` the document whose title, save prompt
  // and commands the frame serves, and gives the window its first size. Called once, by the
  // document template.
  void Attach(CDocument* document, CFormView* view);

  // Creates the action of command `id`. `prompt` is the status-bar text, optionally followed
  // by a line feed and the tooltip. The action sends `id` through RouteCommand. The frame owns
  // the action.
  QAction* AddCommand(int id, const QString& text, const QString& prompt,
                      const QKeySequence& shortcut = {});
  // The action of command `id`; null when there is none.
  QAction* Command(int id) const;

  // Offers command `id` to the view, the document, the frame and the application, in that
  // order, until one handles it.
  void RouteCommand(int id);

  // Sets the caption from the document's title.
  void OnUpdateFrameTitle();

  // Puts the recent-file list's place into `menu`: a disabled "Recent File" item while the
  // list is empty, else up to `count` items, the commands ID_FILE_MRU_FILE1 and following.
  void AddRecentFileCommands(QMenu* menu, int count);
  // Shows the recent files `paths` (most recent first) in that place.
  void UpdateRecentFileMenu(const QStringList& paths);

  // Long work on the document runs between these two calls (they may nest). Meanwhile the window
  // does not close and opens no dropped project, and the application opens no other document:
  // drops reach the window even while user input waits. A request to close the window calls
  // `close_requested` of the innermost work instead, when it has one (which may end the work
  // early and close the window afterwards).
  void BeginModalState(std::function<void()> close_requested = {}) {
    close_requested_.push_back(std::move(close_requested));
  }
  void EndModalState() { close_requested_.pop_back(); }
  bool InModalState() const { return !close_requested_.empty(); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

  CDocument* document() const { return document_; }
  CFormView* view() const { return view_; }

 private:
  // The window's size on a screen whose free area is `available`.
  QSize InitialSize(const QSize& available) const;

  CDocument* document_ = nullptr;  // not owned
  CFormView* view_ = nullptr;      // owned through Qt's parent
  std::map<int, QAction*> commands_;
  QAction* recent_placeholder_ = nullptr;  // owned through Qt's parent
  // One entry per modal state, innermost last; an entry may be empty.
  std::vector<std::function<void()>> close_requested_;
};

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_FRAME_WINDOW_H_

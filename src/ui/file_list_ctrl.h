#ifndef KITBINDER_UI_FILE_LIST_CTRL_H_
#define KITBINDER_UI_FILE_LIST_CTRL_H_

#include <QHash>
#include <QString>
#include <QStringList>
#include <QTreeWidget>
#include <functional>

namespace kb {

// The project's files as a report list, one row per file, six text columns: source path,
// shortcut name, shortcut icon, component GUID, "1"/"0" for the shortcut's working folder, and a
// folder row's shortcut target.
// Rows are plain items with texts only, so that a project of tens of thousands of files stays
// quick to fill and search. A row whose path names a folder (a folder row: it installs the whole
// tree) shows a folder icon, and the number of files and bytes in the tree as its tooltip, counted
// in the background so that a folder of tens of thousands of files never holds the window.
//
// It takes files dropped on it from the desktop (local file URLs): a dropped symbolic link
// contributes its target, names that do not exist and URLs that are not local files are
// ignored, and each accepted path is added at the top (AddPath) or handed to `dropCallback`.
// The form view reacts to the list's keys and double clicks through the three callbacks.
class CFileListCtrl : public QTreeWidget {
 public:
  // Bits of `acceptFlags`.
  static constexpr unsigned kAcceptFiles = 0x1;
  static constexpr unsigned kAcceptFolders = 0x2;
  static constexpr unsigned kAllowDuplicates = 0x4;
  static constexpr unsigned kOnlyAcceptedExtension = 0x10;
  static constexpr unsigned kHandToCallback = 0x20;
  // What AcceptsPath found.
  static constexpr int kKindFolder = 64;
  static constexpr int kKindFile = 128;

  // A report list: full-row, single selection, no tree decoration, taking drops.
  explicit CFileListCtrl(QWidget* parent);
  ~CFileListCtrl() override;

  unsigned acceptFlags = kAcceptFiles | kAcceptFolders;
  QString acceptedExtension;  // with its dot, compared ignoring letter case
  // Receives accepted paths under kHandToCallback; without one they are dropped.
  std::function<void(CFileListCtrl&, const QString&)> dropCallback;

  // Called with the Qt key of a key pressed in the list other than Enter and Return, after the
  // list's own handling (arrows move the selection).
  std::function<void(int key)> onKeyDown;
  // Called when Enter or Return is pressed in the list.
  std::function<void()> onReturn;
  // Called on a left double click with the row clicked, or -1 below the last row.
  std::function<void(int row)> onDoubleClick;

  // Adds `path` as a new row at the top, text in column 0 only, unless a row with that path
  // (letter case ignored) exists and duplicates are not allowed. A path holding a line break is
  // refused with a message box that says so, since a project file could not keep it. Returns
  // the new row's index (0), or -1 when nothing was added.
  virtual int AddPath(const QString& path);

  // The file or folder the symbolic link at `path` leads to, as an absolute path, following a
  // chain of links to its end; empty when `path` is empty or not a link (an ordinary file gives
  // empty text). The result need not exist: a dangling link gives the name it points to.
  static QString ResolveLinkTarget(const QString& path);

  // Whether `path` names something the list takes: a folder (kind kKindFolder) under
  // kAcceptFolders, a regular file (kind kKindFile) under kAcceptFiles with the accepted
  // extension when kOnlyAcceptedExtension is set. False, `kind` untouched, for a name that does
  // not exist or is neither file nor folder.
  bool AcceptsPath(const QString& path, int& kind) const;

  // Handles dropped local paths in order: each link is replaced by its target, and each
  // accepted path goes to AddPath (so the last one added ends up in row 0) or, under
  // kHandToCallback, to `dropCallback`.
  void OnDropFiles(const QStringList& paths);

  // Row access, by row index from the top.
  // REQUIRES: 0 <= row < RowCount() and 0 <= column < 6 where a row and column are taken.
  int RowCount() const;
  QString ItemText(int row, int column) const;
  void SetItemText(int row, int column, const QString& text);
  // Inserts a row at `row` (0 <= row <= RowCount()) with `text` in column 0; returns `row`.
  int InsertItem(int row, const QString& text);
  // Deletes `row`. When it carried the selection mark, the row that takes its place (or the new
  // last row) carries it now.
  void DeleteItem(int row);
  void DeleteAllItems();
  // The first row whose column 0 equals `text` ignoring letter case; -1 when none does. Quick
  // for a text no row holds, so that adding thousands of new files to a long list stays quick.
  int FindItem(const QString& text) const;
  // The selected row, which Remove, Properties, Delete and Enter act on; -1 when none is.
  int SelectionMark() const;
  // What a folder row holds, "Folder: 1,234 files, 5.6 MB" ("Folder: counting..." until it is
  // known); empty for a row that names no folder.
  QString FolderCounts(int row) const;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  // Accepts the drop and handles its paths once the drag source has been answered, as the
  // desktop's own posted drop message would: a message box must not hold the source's drag.
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  // Adds `delta` to the count of each of the rows `first` to `last` in `sourceRows_`.
  void CountSources(int first, int last, int delta) const;
  // Marks the rows `first` to `last` that name folders, and starts counting their trees.
  void MarkFolderRows(int first, int last);
  // Shows `counts` on every row whose path is `folder`.
  void ShowFolderCounts(const QString& folder, const QString& counts);

  // The rows' column-0 texts, case-folded, each with the number of rows that hold it: FindItem
  // scans the rows only for a text some row holds. Kept up to date as rows come and go; an
  // edited text makes it stale, and the next search counts every row again.
  mutable QHash<QString, int> sourceRows_;
  mutable bool sourceRowsStale_ = false;
};

}  // namespace kb

#endif  // KITBINDER_UI_FILE_LIST_CTRL_H_

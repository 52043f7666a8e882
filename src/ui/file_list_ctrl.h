#ifndef KITBINDER_UI_FILE_LIST_CTRL_H_
#define KITBINDER_UI_FILE_LIST_CTRL_H_

#include <QString>
#include <QTreeWidget>
#include <functional>

namespace kb {

// The project's files as a report list, one row per file, five text columns: source path,
// shortcut name, shortcut icon, component GUID, and "1"/"0" for the shortcut's working folder.
// It takes files dropped on it from the desktop (local file URLs): a dropped symbolic link
// contributes its target, names that do not exist and URLs that are not local files are
// ignored, and each accepted path is added at the top (AddPath) or handed to `dropCallback`.
//
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

  explicit CFileListCtrl(QWidget* parent);

  unsigned acceptFlags = kAcceptFiles | kAcceptFolders;
  QString acceptedExtension;  // with its dot, compared ignoring letter case
  std::function<void(CFileListCtrl&, const QString&)> dropCallback;

  // Called with the Qt key of a key pressed in the list (after the list's own handling).
  std::function<void(int key)> onKeyDown;
  // Called when Enter or Return is pressed in the list.
  std::function<void()> onReturn;
  // Called on a double click with the row clicked, or -1 below the last row.
  std::function<void(int row)> onDoubleClick;

  // Adds `path` as a new row at the top, text in column 0 only, unless a row with that path
  // (letter case ignored) exists and duplicates are not allowed. Returns the new row's index
  // (0), or -1 when nothing was added.
  virtual int AddPath(const QString& path);

  // The target of the symbolic link at `path`, as an absolute path; empty when `path` is
  // empty or no link (an ordinary file gives empty text).
  static QString ResolveLinkTarget(const QString& path);

  // Whether `path` names something the list takes: a folder (kind kKindFolder) under
  // kAcceptFolders, a regular file (kind kKindFile) under kAcceptFiles with the accepted
  // extension when kOnlyAcceptedExtension is set. False for a name that does not exist.
  bool AcceptsPath(const QString& path, int& kind) const;

  // Handles a drop of `paths` (local file paths) in order, as a drop from the desktop does.
  void OnDropFiles(const QStringList& paths);

  // Row access, by row index from the top.
  int RowCount() const;
  QString ItemText(int row, int column) const;
  void SetItemText(int row, int column, const QString& text);
  // Inserts a row at `row` with `text` in column 0; returns its index.
  int InsertItem(int row, const QString& text);
  void DeleteItem(int row);
  void DeleteAllItems();
  // The first row whose column 0 equals `text` ignoring letter case; -1 when none does.
  int FindItem(const QString& text) const;
  // The row of the selection mark (the current row); -1 when there is none.
  int SelectionMark() const;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace kb

#endif  // KITBINDER_UI_FILE_LIST_CTRL_H_

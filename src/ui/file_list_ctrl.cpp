#include "ui/file_list_ctrl.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QPointer>
#include <QStyle>
#include <QThreadPool>
#include <filesystem>
#include <memory>

#include "framework/dropped_files.h"
#include "ui/one_line_name.h"

namespace kb {
namespace {

// As many links as the system follows before it gives up on a loop (ELOOP).
constexpr int kMaxLinkHops = 40;

// The extension of the file name in `path`: from its last dot, empty when it has none.
QString ExtensionOf(const QString& path) {
  const QString name = QFileInfo(path).fileName();
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  return dot < 0 ? QString() : name.mid(dot);
}

constexpr char kFolderPrefix[] = "Folder: ";

// "1,234 files, 5.6 MB": the regular files in the tree at `folder` (links followed to files,
// unreadable parts skipped) and their bytes. Runs on a worker thread.
QString CountTree(const QString& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  qint64 files = 0;
  qint64 bytes = 0;
  for (fs::recursive_directory_iterator
           it(folder.toStdString(), fs::directory_options::skip_permission_denied, error),
       end;
       !error && it != end; it.increment(error)) {
    std::error_code entry_error;
    if (!it->is_regular_file(entry_error)) continue;
    ++files;
    const auto size = it->file_size(entry_error);
    if (!entry_error) bytes += static_cast<qint64>(size);
  }
  const QLocale locale;
  return kFolderPrefix + locale.toString(files) + (files == 1 ? " file, " : " files, ") +
         locale.formattedDataSize(bytes);
}

}  // namespace

CFileListCtrl::CFileListCtrl(QWidget* parent) : QTreeWidget(parent) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  header()->setStretchLastSection(false);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);

  const QAbstractItemModel* rows = model();
  connect(rows, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) {
            CountSources(first, last, 1);
            MarkFolderRows(first, last);
          });
  connect(rows, &QAbstractItemModel::rowsAboutToBeRemoved, this,
          [this](const QModelIndex&, int first, int last) { CountSources(first, last, -1); });
  connect(rows, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
            if (from.column() != 0 || !roles.contains(Qt::DisplayRole)) return;
            sourceRowsStale_ = true;
            MarkFolderRows(from.row(), to.row());
          });
  connect(rows, &QAbstractItemModel::modelReset, this, [this] { sourceRowsStale_ = true; });
}

CFileListCtrl::~CFileListCtrl() {
  // The tree empties its model after this part of the list is gone: stop counting first.
  model()->disconnect(this);
}

int CFileListCtrl::AddPath(const QString& path) {
  if (!(acceptFlags & kAllowDuplicates) && FindItem(path) >= 0) return -1;
  if (!AcceptOneLineName(path, this)) return -1;
  return InsertItem(0, path);
}

QString CFileListCtrl::ResolveLinkTarget(const QString& path) {
  if (path.isEmpty()) return {};
  QString target;
  QFileInfo link(path);
  for (int hop = 0; hop < kMaxLinkHops && link.isSymbolicLink(); ++hop) {
    target = link.symLinkTarget();
    link.setFile(target);
  }
  return target;
}

bool CFileListCtrl::AcceptsPath(const QString& path, int& kind) const {
  const QFileInfo info(path);
  if (path.isEmpty() || !info.exists()) return false;
  if ((acceptFlags & kAcceptFolders) && info.isDir()) {
    kind = kKindFolder;
    return true;
  }
  if (!(acceptFlags & kAcceptFiles) || !info.isFile()) return false;
  kind = kKindFile;
  return !(acceptFlags & kOnlyAcceptedExtension) ||
         ExtensionOf(path).compare(acceptedExtension, Qt::CaseInsensitive) == 0;
}

void CFileListCtrl::OnDropFiles(const QStringList& paths) {
  for (QString path : paths) {
    const QString target = ResolveLinkTarget(path);
    if (!target.isEmpty()) path = target;
    int kind = 0;
    if (!AcceptsPath(path, kind)) continue;
    if (!(acceptFlags & kHandToCallback)) {
      AddPath(path);
    } else if (dropCallback) {
      dropCallback(*this, path);
    }
  }
}

int CFileListCtrl::RowCount() const {
  return topLevelItemCount();
}

QString CFileListCtrl::ItemText(int row, int column) const {
  return topLevelItem(row)->text(column);
}

void CFileListCtrl::SetItemText(int row, int column, const QString& text) {
  topLevelItem(row)->setText(column, text);
}

int CFileListCtrl::InsertItem(int row, const QString& text) {
  auto item = std::make_unique<QTreeWidgetItem>(QStringList{text});
  insertTopLevelItem(row, item.release());  // the list owns its items
  return row;
}

void CFileListCtrl::DeleteItem(int row) {
  // A single-selection view selects the next row (or the new last one) when the selected row
  // goes, which is where Windows leaves the selection mark.
  std::unique_ptr<QTreeWidgetItem> removed(takeTopLevelItem(row));
}

void CFileListCtrl::DeleteAllItems() {
  clear();
}

QString CFileListCtrl::FolderCounts(int row) const {
  return topLevelItem(row)->toolTip(0);
}

void CFileListCtrl::MarkFolderRows(int first, int last) {
  for (int row = first; row <= last; ++row) {
    QTreeWidgetItem* item = topLevelItem(row);
    const QString path = item->text(0);
    if (path.isEmpty() || !QFileInfo(path).isDir()) {
      if (!item->toolTip(0).isEmpty()) {
        item->setIcon(0, QIcon());
        item->setToolTip(0, QString());
      }
      continue;
    }
    item->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
    item->setToolTip(0, QString(kFolderPrefix) + "counting...");
    // The answer comes back through the application's event loop, and finds the list only if
    // it still exists.
    QThreadPool::globalInstance()->start([path, list = QPointer<CFileListCtrl>(this)] {
      QString counts = CountTree(path);
      QMetaObject::invokeMethod(
          QCoreApplication::instance(),
          [path, list, counts = std::move(counts)] {
            if (list) list->ShowFolderCounts(path, counts);
          },
          Qt::QueuedConnection);
    });
  }
}

void CFileListCtrl::ShowFolderCounts(const QString& folder, const QString& counts) {
  for (int row = 0; row < RowCount(); ++row) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (item->text(0) == folder && !item->toolTip(0).isEmpty()) item->setToolTip(0, counts);
  }
}

void CFileListCtrl::CountSources(int first, int last, int delta) const {
  for (int row = first; row <= last; ++row) {
    const QString key = topLevelItem(row)->text(0).toCaseFolded();
    const int count = sourceRows_.value(key) + delta;
    if (count > 0) {
      sourceRows_.insert(key, count);
    } else {
      sourceRows_.remove(key);
    }
  }
}

int CFileListCtrl::FindItem(const QString& text) const {
  const int rows = RowCount();
  if (sourceRowsStale_) {
    sourceRows_.clear();
    sourceRowsStale_ = false;
    CountSources(0, rows - 1, 1);
  }
  if (!sourceRows_.contains(text.toCaseFolded())) return -1;
  for (int row = 0; row < rows; ++row) {
    if (topLevelItem(row)->text(0).compare(text, Qt::CaseInsensitive) == 0) return row;
  }
  return -1;
}

int CFileListCtrl::SelectionMark() const {
  // Qt makes the first row current when the list first gets the focus; only a row the user
  // selected counts, as Windows' selection mark would.
  const QModelIndex current = currentIndex();
  return current.isValid() && selectionModel()->isSelected(current) ? current.row() : -1;
}

void CFileListCtrl::dragEnterEvent(QDragEnterEvent* event) {
  dragMoveEvent(event);
}

void CFileListCtrl::dragMoveEvent(QDragMoveEvent* event) {
  if (DroppedLocalFiles(event->mimeData()).isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

void CFileListCtrl::dropEvent(QDropEvent* event) {
  const QStringList paths = DroppedLocalFiles(event->mimeData());
  if (paths.isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  QMetaObject::invokeMethod(
      this, [this, paths] { OnDropFiles(paths); }, Qt::QueuedConnection);
}

void CFileListCtrl::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    event->accept();
    if (onReturn) onReturn();
    return;
  }
  QTreeWidget::keyPressEvent(event);
  if (onKeyDown) onKeyDown(key);
}

void CFileListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeWidget::mouseDoubleClickEvent(event);
  if (event->button() != Qt::LeftButton) return;
  const QModelIndex clicked = indexAt(event->position().toPoint());
  if (onDoubleClick) onDoubleClick(clicked.isValid() ? clicked.row() : -1);
}

}  // namespace kb

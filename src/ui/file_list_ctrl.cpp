// TEMPORARY: the row access only, until the list's drops land.
#include "ui/file_list_ctrl.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace kb {

CFileListCtrl::CFileListCtrl(QWidget* parent) : QTreeWidget(parent) {
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  header()->setStretchLastSection(false);
}

int CFileListCtrl::AddPath(const QString&) { return -1; }
QString CFileListCtrl::ResolveLinkTarget(const QString&) { return {}; }
bool CFileListCtrl::AcceptsPath(const QString&, int&) const { return false; }
void CFileListCtrl::OnDropFiles(const QStringList&) {}
int CFileListCtrl::RowCount() const { return topLevelItemCount(); }
QString CFileListCtrl::ItemText(int row, int column) const { return topLevelItem(row)->text(column); }
void CFileListCtrl::SetItemText(int row, int column, const QString& text) { topLevelItem(row)->setText(column, text); }
int CFileListCtrl::InsertItem(int row, const QString& text) { insertTopLevelItem(row, new QTreeWidgetItem(QStringList{text})); return row; }
void CFileListCtrl::DeleteItem(int row) { delete takeTopLevelItem(row); }
void CFileListCtrl::DeleteAllItems() { clear(); }
int CFileListCtrl::FindItem(const QString&) const { return -1; }
int CFileListCtrl::SelectionMark() const { return currentIndex().isValid() ? currentIndex().row() : -1; }
void CFileListCtrl::dragEnterEvent(QDragEnterEvent* event) { QTreeWidget::dragEnterEvent(event); }
void CFileListCtrl::dragMoveEvent(QDragMoveEvent* event) { QTreeWidget::dragMoveEvent(event); }
void CFileListCtrl::dropEvent(QDropEvent* event) { QTreeWidget::dropEvent(event); }
void CFileListCtrl::keyPressEvent(QKeyEvent* event) { QTreeWidget::keyPressEvent(event); }
void CFileListCtrl::mouseDoubleClickEvent(QMouseEvent* event) { QTreeWidget::mouseDoubleClickEvent(event); }

}  // namespace kb

// TEMPORARY: placeholders until the file list's handlers land.
#include "ui/kitbinder_view.h"

namespace kb {
void CKitbinderView::OnAddFiles() {}
void CKitbinderView::OnRemoveFile() {}
void CKitbinderView::OnFileProperties() {}
void CKitbinderView::OnListKeyDown(int) {}
void CKitbinderView::OnListReturn() {}
void CKitbinderView::OnListDblClk(int) {}
void CKitbinderView::EditFileRow(int) {}
}  // namespace kb

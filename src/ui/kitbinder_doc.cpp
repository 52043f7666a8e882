#include "ui/kitbinder_doc.h"

#include "ui/kitbinder_view.h"

namespace kb {

CKitbinderView* CKitbinderDoc::View() const {
  return static_cast<CKitbinderView*>(GetFirstView());
}

bool CKitbinderDoc::IsModified() {
  return View() && View()->IsProjectModified();
}

bool CKitbinderDoc::OnNewDocument() {
  if (!CDocument::OnNewDocument()) return false;
  if (View()) View()->ResetProject();
  return true;
}

bool CKitbinderDoc::OnOpenDocument(const QString& path) {
  if (!CDocument::OnOpenDocument(path)) return false;
  if (View()) View()->LoadProject(path.toStdString());
  return true;
}

bool CKitbinderDoc::OnSaveDocument(const QString& path) {
  if (!View() || !View()->SaveProject(path.toStdString())) return false;
  SetModifiedFlag(false);
  return true;
}

void CKitbinderDoc::SaveProjectNow() {
  DoFileSave();
}

}  // namespace kb

#include "ui/kitbinder_doc.h"

#include <QFileInfo>

#include "framework/message_box.h"
#include "project/numbering_gap.h"
#include "project/project_file_problem.h"
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
  // A missing file gets the framework's message. Any other file that is no project file gets
  // kitbinder-cli's: a pipe would hang the program, and UTF-16 text would load as an empty
  // project that the next save writes over the user's file.
  if (QFileInfo::exists(path)) {
    if (const auto problem = ProjectFileProblem(path.toStdString())) {
      AfxMessageBox(QString::fromStdString(*problem));
      return false;
    }
  }
  if (!CDocument::OnOpenDocument(path)) return false;
  if (View()) View()->LoadProject(path.toStdString());
  if (const auto warning = NumberingGapWarning(path.toStdString())) {
    AfxMessageBox(QString::fromStdString(*warning));
  }
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

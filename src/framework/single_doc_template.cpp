#include "framework/single_doc_template.h"

#include <QStringList>

#include "framework/form_view.h"
#include "framework/wait_cursor.h"

namespace kb {

CSingleDocTemplate::Strings CSingleDocTemplate::ParseStrings(const QString& resource) {
  QStringList fields = resource.split('\n');
  while (fields.size() < 7) fields.append(QString());
  return {.window_title = fields[0],
          .document_name = fields[1],
          .filter_name = fields[3],
          .filter_extension = fields[4],
          .file_type_id = fields[5],
          .file_type_name = fields[6]};
}

CSingleDocTemplate::CSingleDocTemplate(const QString& resource, std::unique_ptr<CDocument> document,
                                       std::unique_ptr<CFrameWnd> frame,
                                       const std::function<CFormView*(QWidget*)>& make_view)
    : strings_(ParseStrings(resource)),
      document_(std::move(document)),
      frame_(std::move(frame)),
      view_(make_view(frame_.get())) {
  document_->template_ = this;
  document_->view_ = view_;
  view_->SetDocument(document_.get());
  frame_->Attach(document_.get(), view_);
}

void CSingleDocTemplate::SetDefaultTitle(CDocument& document) const {
  document.SetTitle(strings_.document_name.isEmpty() ? QStringLiteral("Untitled")
                                                     : strings_.document_name);
}

CSingleDocTemplate::OpenResult CSingleDocTemplate::OpenDocumentFile(const QString& path) {
  if (!document_->SaveModified()) return OpenResult::kCancelled;
  if (path.isEmpty()) {
    SetDefaultTitle(*document_);
    if (!document_->OnNewDocument()) return OpenResult::kFailed;
  } else {
    const CWaitCursor wait;
    if (!document_->OnOpenDocument(path)) {
      // A project whose changes the user chose not to keep is not shown as if it were saved.
      if (document_->IsModified()) {
        SetDefaultTitle(*document_);
        document_->OnNewDocument();
      }
      return OpenResult::kFailed;
    }
    document_->SetPathName(path);
  }
  view_->OnInitialUpdate();
  return OpenResult::kOpened;
}

}  // namespace kb

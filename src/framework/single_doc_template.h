#ifndef KITBINDER_FRAMEWORK_SINGLE_DOC_TEMPLATE_H_
#define KITBINDER_FRAMEWORK_SINGLE_DOC_TEMPLATE_H_

#include <QString>
#include <functional>
#include <memory>

#include "framework/document.h"
#include "framework/frame_window.h"

namespace kb {

class CFormView;

// Ties one document, one main frame and one form view together for the life of the program.
// New and Open reuse the same three objects.
class CSingleDocTemplate {
 public:
  // The fields of a document template string, separated by line feeds in this order: window
  // title, document name, file-new name, filter name, filter extension, file type id, file type
  // name.
  struct Strings {
    QString window_title;
    QString document_name;     // the title of a new document; "Untitled" when empty
    QString filter_name;       // e.g. "kitbinder Files (*.kbr)"
    QString filter_extension;  // e.g. ".kbr"
    QString file_type_id;
    QString file_type_name;
  };
  static Strings ParseStrings(const QString& resource);

  // Takes the document and the frame and creates the view in the frame with `make_view`
  // (the frame owns the view).
  CSingleDocTemplate(const QString& resource, std::unique_ptr<CDocument> document,
                     std::unique_ptr<CFrameWnd> frame,
                     const std::function<CFormView*(QWidget* parent)>& make_view);
  CSingleDocTemplate(const CSingleDocTemplate&) = delete;
  CSingleDocTemplate& operator=(const CSingleDocTemplate&) = delete;

  enum class OpenResult { kOpened, kCancelled, kFailed };

  // New (empty `path`) or Open: asks to save the current document when it is modified
  // (kCancelled when the user stops there), then starts a new document or opens `path`.
  // A file that cannot be opened is kFailed: the user has been told; the document stays as it
  // was, unless it had changes the user chose not to save, in which case it becomes new.
  // After a New or a successful Open the view's OnInitialUpdate runs.
  OpenResult OpenDocumentFile(const QString& path);

  // "Untitled", or the template's document name.
  void SetDefaultTitle(CDocument& document) const;

  const Strings& strings() const { return strings_; }
  // The Open and Save As dialogs' filter.
  const QString& filter() const { return strings_.filter_name; }

  CDocument& document() const { return *document_; }
  CFrameWnd& frame() const { return *frame_; }
  CFormView& view() const { return *view_; }

 private:
  Strings strings_;
  std::unique_ptr<CDocument> document_;
  std::unique_ptr<CFrameWnd> frame_;
  CFormView* view_;  // owned by frame_
};

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_SINGLE_DOC_TEMPLATE_H_

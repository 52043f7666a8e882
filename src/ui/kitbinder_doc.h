#ifndef KITBINDER_UI_KITBINDER_DOC_H_
#define KITBINDER_UI_KITBINDER_DOC_H_

#include "framework/document.h"

namespace kb {

class CKitbinderView;

// The project document. It holds no project data: the form view keeps the project, and the
// document turns each of the framework's requests (New, Open, Save, "is it modified?") into
// one call on that view.
class CKitbinderDoc : public CDocument {
 public:
  // Whether the form differs from the project as last loaded, saved or reset.
  bool IsModified() override;
  // Starts a new project: the form and its baseline are emptied.
  bool OnNewDocument() override;
  // Opens the project file at `path` into the form. False, changing nothing, when the file
  // cannot be opened or is no project file (a pipe, UTF-16 text): the user has been told why.
  // Keys that a gap in the numbering of files or icons hides are named in a warning.
  bool OnOpenDocument(const QString& path) override;
  // Saves the form to `path`. False when the file could not be written: the user has been told
  // which file and why, and the project stays modified with all its edits.
  bool OnSaveDocument(const QString& path) override;

  // File Save, for the Build command: asks for a file name when the project has none.
  void SaveProjectNow();

 private:
  CKitbinderView* View() const;
};

}  // namespace kb

#endif  // KITBINDER_UI_KITBINDER_DOC_H_

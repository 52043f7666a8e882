#ifndef KITBINDER_FRAMEWORK_DOCUMENT_H_
#define KITBINDER_FRAMEWORK_DOCUMENT_H_

#include <QString>

#include "framework/cmd_target.h"

namespace kb {

class CFormView;
class CSingleDocTemplate;

// The framework's side of a document: its path and title, the save prompt, Save and Save As
// with their file dialog. A program derives its document from this class and supplies
// OnSaveDocument (and, as it needs, IsModified, OnNewDocument and OnOpenDocument).
//
// The document template creates the document and ties it to its view and frame; the
// document owns neither.
class CDocument : public CCmdTarget {
 public:
  CDocument() = default;
  CDocument(const CDocument&) = delete;
  CDocument& operator=(const CDocument&) = delete;

  // The modified flag, unless a derived document decides otherwise.
  virtual bool IsModified();

  // Empties the path, clears the modified flag and returns true.
  virtual bool OnNewDocument();

  // Checks that `path` can be opened for reading. On failure shows one message naming the
  // file and the reason, and returns false. Reads nothing; clears the modified flag.
  virtual bool OnOpenDocument(const QString& path);

  // Writes the document to `path`. Returns false when it could not be written; the document
  // then says why to the user itself.
  virtual bool OnSaveDocument(const QString& path) = 0;

  void SetModifiedFlag(bool modified = true) { modified_ = modified; }

  // The document's file; empty for a document never saved or opened.
  const QString& GetPathName() const { return path_name_; }
  // Records `path` as the document's file, takes its file name as the title and, when
  // `add_to_recent` is true, puts it at the top of the recent-file list.
  void SetPathName(const QString& path, bool add_to_recent = true);

  // The name the window caption shows: the file name, or "Untitled".
  const QString& GetTitle() const { return title_; }
  void SetTitle(const QString& title);

  // Before the document is replaced or closed: when IsModified, asks "Save changes to ...?".
  // Yes saves (as File Save does). Returns true to go on (saved, or No), false to stop
  // (Cancel, or a save that failed or was cancelled).
  bool SaveModified();

  // File Save: Save As when the document has no file yet, or its file is read-only or gone;
  // otherwise a save to its file. Returns true when the document was saved.
  bool DoFileSave();

  // Saves to `path`, or, when `path` is empty, to a path asked with the Save As dialog. On
  // success the path becomes the document's. Returns true when the document was saved; false
  // when the dialog was cancelled or the save failed (path, title and recent files unchanged).
  bool DoSave(const QString& path);

  // File Save and File Save As.
  bool OnCmdMsg(int id) override;

  // The document's one view; null before the template ties them.
  CFormView* GetFirstView() const { return view_; }

 private:
  friend class CSingleDocTemplate;

  QString path_name_;
  QString title_;
  bool modified_ = false;
  CSingleDocTemplate* template_ = nullptr;  // not owned
  CFormView* view_ = nullptr;               // not owned
};

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_DOCUMENT_H_

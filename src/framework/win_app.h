#ifndef KITBINDER_FRAMEWORK_WIN_APP_H_
#define KITBINDER_FRAMEWORK_WIN_APP_H_

#include <QApplication>
#include <QString>
#include <memory>
#include <optional>

#include "framework/cmd_target.h"
#include "framework/recent_file_list.h"
#include "framework/single_doc_template.h"

namespace kb {

// The application: owns the Qt application, the document template (and so the main frame,
// the document and the view) and the recent-file list, and handles the commands that belong
// to no window: File New, File Open, the recent files, Exit, Help Contents. One per process;
// AfxGetApp reaches it.
class CWinApp : public CCmdTarget {
 public:
  // `name` is the application's title (captions, settings). REQUIRES: `argc` and `argv` outlive
  // the object.
  CWinApp(int& argc, char** argv, const QString& name);
  ~CWinApp() override;
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Runs InitInstance, then the event loop until the main window closes. Returns the process's
  // exit status: 0 after a normal end; when InitInstance ends the program, the status it set
  // with EndStartup.
  int Run();

  // Starts the program. False ends it at once.
  virtual bool InitInstance() = 0;
  // Help Contents.
  virtual void WinHelp() = 0;

  // The settings are kept for organisation `key` and the application's name.
  void SetRegistryKey(const QString& key);
  // Reads the recent-file list of `size` entries.
  void LoadStdProfileSettings(int size);
  void AddDocTemplate(std::unique_ptr<CSingleDocTemplate> doc_template);

  // Opens the project at `path` (a relative path from the current folder) as Open does, after
  // the save prompt; nothing at all when it is the document's own file already (letter case
  // ignored, unless another file exists under that spelling). While the main window is in its
  // modal state, this, New and Open do nothing (kCancelled).
  CSingleDocTemplate::OpenResult OpenDocumentFile(const QString& path);
  // File New.
  void OnFileNew();
  // File Open: the Open dialog with the template's filter, then OpenDocumentFile.
  void OnFileOpen();
  // A recent file: opened as Open does; an entry that cannot be opened leaves the list.
  void OnOpenRecentFile(int index);
  void AddToRecentFileList(const QString& path);

  bool OnCmdMsg(int id) override;

  const QString& AppName() const { return name_; }
  // The template of the program's one document. REQUIRES: AddDocTemplate ran.
  CSingleDocTemplate& DocTemplate() const { return *doc_template_; }
  CFrameWnd& MainWnd() const { return doc_template_->frame(); }
  // The recent-file list; empty before LoadStdProfileSettings.
  QStringList RecentFiles() const;

 protected:
  // Sets the exit status for a start-up that InitInstance ends with false (1 unless set).
  void EndStartup(int exit_status) { startup_exit_status_ = exit_status; }

 private:
  QApplication application_;
  QString name_;
  int startup_exit_status_ = 1;
  std::unique_ptr<CSingleDocTemplate> doc_template_;
  std::optional<CRecentFileList> recent_files_;
};

// The one application object.
CWinApp* AfxGetApp();

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_WIN_APP_H_

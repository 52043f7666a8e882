#include "framework/win_app.h"

#include <QFileInfo>

#include "framework/dialog_folders.h"
#include "framework/file_dialogs.h"
#include "framework/standard_ids.h"

namespace kb {
namespace {

CWinApp* the_app = nullptr;

// Names that differ only in letter case name one document, as they do on Windows; but where
// the file system tells case apart and both names exist, they may be two projects.
bool SameFile(const QString& a, const QString& b) {
  const QFileInfo first(a);
  const QFileInfo second(b);
  if (first.absoluteFilePath().compare(second.absoluteFilePath(), Qt::CaseInsensitive) != 0) {
    return false;
  }
  return !first.exists() || !second.exists() ||
         first.canonicalFilePath() == second.canonicalFilePath();
}

}  // namespace

CWinApp::CWinApp(int& argc, char** argv, const QString& name)
    : application_(argc, argv), name_(name) {
  QApplication::setApplicationName(name);
  the_app = this;
}

CWinApp::~CWinApp() {
  // The windows go before the Qt application they belong to.
  doc_template_.reset();
  the_app = nullptr;
}

CWinApp* AfxGetApp() {
  return the_app;
}

int CWinApp::Run() {
  if (!InitInstance()) return startup_exit_status_;
  return QApplication::exec();
}

void CWinApp::SetRegistryKey(const QString& key) {
  QApplication::setOrganizationName(key);
}

void CWinApp::LoadStdProfileSettings(int size) {
  recent_files_.emplace(size);
}

void CWinApp::AddDocTemplate(std::unique_ptr<CSingleDocTemplate> doc_template) {
  doc_template_ = std::move(doc_template);
  MainWnd().UpdateRecentFileMenu(RecentFiles());
}

CSingleDocTemplate::OpenResult CWinApp::OpenDocumentFile(const QString& path) {
  if (MainWnd().InModalState()) return CSingleDocTemplate::OpenResult::kCancelled;
  const QString& current = doc_template_->document().GetPathName();
  if (!current.isEmpty() && SameFile(current, path)) {
    return CSingleDocTemplate::OpenResult::kOpened;
  }
  // A name typed on the command line is relative to the folder the program started in, which
  // stops being the current one once the project is open.
  return doc_template_->OpenDocumentFile(path.isEmpty() ? path
                                                        : QFileInfo(path).absoluteFilePath());
}

void CWinApp::OnFileNew() {
  if (!MainWnd().InModalState()) doc_template_->OpenDocumentFile(QString());
}

void CWinApp::OnFileOpen() {
  if (MainWnd().InModalState()) return;
  const QString current = doc_template_->document().GetPathName();
  const QString folder = FirstFolder({current.isEmpty() ? QString() : QFileInfo(current).path(),
                                      LastDialogFolder(kProjectsFolder)});
  const QString path = TheFileDialogs().GetOpenFileName(
      &MainWnd(), QStringLiteral("Open a project"), doc_template_->filter(), folder);
  if (path.isEmpty()) return;
  RememberDialogFolder(kProjectsFolder, path);
  OpenDocumentFile(path);
}

void CWinApp::OnOpenRecentFile(int index) {
  const QStringList paths = RecentFiles();
  if (index < 0 || index >= paths.size()) return;
  if (OpenDocumentFile(paths[index]) == CSingleDocTemplate::OpenResult::kFailed) {
    recent_files_->Remove(index);
    MainWnd().UpdateRecentFileMenu(RecentFiles());
  }
}

void CWinApp::AddToRecentFileList(const QString& path) {
  if (!recent_files_) return;
  recent_files_->Add(path);
  MainWnd().UpdateRecentFileMenu(RecentFiles());
}

QStringList CWinApp::RecentFiles() const {
  return recent_files_ ? recent_files_->paths() : QStringList();
}

bool CWinApp::OnCmdMsg(int id) {
  if (id >= ID_FILE_MRU_FILE1 && id <= ID_FILE_MRU_LAST) {
    OnOpenRecentFile(id - ID_FILE_MRU_FILE1);
    return true;
  }
  switch (id) {
    case ID_FILE_NEW:
      OnFileNew();
      return true;
    case ID_FILE_OPEN:
      OnFileOpen();
      return true;
    case ID_APP_EXIT:
      MainWnd().close();
      return true;
    case ID_HELP_INDEX:
      WinHelp();
      return true;
    default:
      return false;
  }
}

}  // namespace kb

#include "framework/document.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "framework/dialog_folders.h"
#include "framework/file_dialogs.h"
#include "framework/message_box.h"
#include "framework/single_doc_template.h"
#include "framework/standard_ids.h"
#include "framework/wait_cursor.h"
#include "framework/win_app.h"

namespace kb {

bool CDocument::IsModified() {
  return modified_;
}

bool CDocument::OnNewDocument() {
  path_name_.clear();
  modified_ = false;
  return true;
}

bool CDocument::OnOpenDocument(const QString& path) {
  const QFileInfo info(path);
  QFile file(path);
  QString reason;
  if (info.isDir()) {
    reason = QStringLiteral("It is a folder, not a project file.");
  } else if (!file.open(QIODevice::ReadOnly)) {
    reason = file.errorString() + '.';
  }
  if (!reason.isEmpty()) {
    AfxMessageBox(QStringLiteral("Cannot open %1.\n%2").arg(path, reason));
    return false;
  }
  modified_ = false;
  return true;
}

void CDocument::SetPathName(const QString& path, bool add_to_recent) {
  path_name_ = QFileInfo(path).absoluteFilePath();
  SetTitle(QFileInfo(path).fileName());
  if (add_to_recent) AfxGetApp()->AddToRecentFileList(path_name_);
}

void CDocument::SetTitle(const QString& title) {
  title_ = title;
  if (template_) template_->frame().OnUpdateFrameTitle();
}

bool CDocument::SaveModified() {
  if (!IsModified()) return true;
  const QString name = path_name_.isEmpty() ? title_ : path_name_;
  switch (AskToSaveChanges(name)) {
    case SaveAnswer::kYes:
      return DoFileSave();
    case SaveAnswer::kNo:
      return true;
    case SaveAnswer::kCancel:
      break;
  }
  return false;
}

bool CDocument::DoFileSave() {
  const QFileInfo file(path_name_);
  if (path_name_.isEmpty() || !file.exists() || !file.isWritable()) return DoSave(QString());
  return DoSave(path_name_);
}

bool CDocument::DoSave(const QString& path) {
  QString target = path;
  if (target.isEmpty()) {
    QString proposed = path_name_;
    if (proposed.isEmpty()) {
      proposed = title_;
      if (!proposed.contains('.')) proposed += template_->strings().filter_extension;
      proposed = QDir(FirstFolder({LastDialogFolder(kProjectsFolder)})).filePath(proposed);
    }
    target = TheFileDialogs().GetSaveFileName(
        &template_->frame(), QStringLiteral("Save the project as"), template_->filter(), proposed);
    if (target.isEmpty()) return false;
    RememberDialogFolder(kProjectsFolder, target);
  }
  const CWaitCursor wait;
  if (!OnSaveDocument(target)) return false;
  SetPathName(target);
  return true;
}

bool CDocument::OnCmdMsg(int id) {
  switch (id) {
    case ID_FILE_SAVE:
      DoFileSave();
      return true;
    case ID_FILE_SAVE_AS:
      DoSave(QString());
      return true;
    default:
      return false;
  }
}

}  // namespace kb

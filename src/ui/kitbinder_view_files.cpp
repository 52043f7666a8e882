// The "Files to Install" page: adding, removing and editing the file list's rows.
#include <QFileInfo>
#include <QStringList>

#include "framework/dialog_folders.h"
#include "framework/file_dialogs.h"
#include "framework/standard_ids.h"
#include "ui/file_list_ctrl.h"
#include "ui/file_properties_dlg.h"
#include "ui/kitbinder_view.h"
#include "ui/one_line_name.h"

namespace kb {
namespace {

constexpr char kAddFilter[] = "All Files (*.*)";

// The columns of a row (the form's column table).
enum Column : int {
  kSource = 0,
  kShortcutName,
  kShortcutIcon,
  kComponentGuid,
  kUseTargetDir,
  kDesktopShortcut,
  kShortcutTarget,
  kExtensions,
  kExtensionDescription,
  kLaunchOnExit
};

}  // namespace

// Adding starts where the user last added from, as the files of one product often lie together
// away from the project.
QString CKitbinderView::AddingFolder() const {
  return FirstFolder({LastDialogFolder(kFilesFolder), QString::fromStdString(projectFolder)});
}

void CKitbinderView::OnAddFiles() {
  const QStringList chosen = TheFileDialogs().GetOpenFileNames(
      this, QStringLiteral("Add files"), QString::fromUtf8(kAddFilter), AddingFolder());
  if (chosen.isEmpty()) return;
  RememberDialogFolder(kFilesFolder, chosen.first());
  // Each goes on top of the one before, so they end up in the reverse of the dialog's order.
  for (const QString& path : chosen) fileList->AddPath(path);
}

void CKitbinderView::OnAddFolder() {
  const QString chosen =
      TheFileDialogs().GetExistingFolder(this, QStringLiteral("Add a folder"), AddingFolder());
  if (chosen.isEmpty()) return;
  RememberDialogFolder(kFilesFolder, QFileInfo(chosen).path());
  fileList->AddPath(chosen);
}

void CKitbinderView::OnRemoveFile() {
  const int mark = fileList->SelectionMark();
  if (mark >= 0) fileList->DeleteItem(mark);
}

void CKitbinderView::OnListKeyDown(int key) {
  if (key == Qt::Key_Delete) OnRemoveFile();
}

void CKitbinderView::OnFileProperties() {
  EditFileRow(fileList->SelectionMark());
}

void CKitbinderView::OnListReturn() {
  OnFileProperties();
}

void CKitbinderView::OnListDblClk(int row) {
  EditFileRow(row);
}

void CKitbinderView::EditFileRow(int row) {
  if (row < 0 || row >= fileList->RowCount()) return;
  const auto text = [&](Column column) { return fileList->ItemText(row, column).toStdString(); };
  CFilePropertiesDlg dialog(this);
  dialog.sourcePath = text(kSource);
  dialog.shortcutLabel = text(kShortcutName);
  dialog.iconPath = text(kShortcutIcon);
  dialog.componentGuid = text(kComponentGuid);
  dialog.workDirIsTargetDir = text(kUseTargetDir) == "1";
  dialog.onDesktopToo = text(kDesktopShortcut) == "1";
  dialog.shortcutTarget = text(kShortcutTarget);
  dialog.extensions = text(kExtensions);
  dialog.extensionDescription = text(kExtensionDescription);
  dialog.launchOnExit = text(kLaunchOnExit) == "1";
  dialog.browseFolder = projectFolder;
  if (dialog.DoModal() != IDOK) return;

  const auto set = [&](Column column, const std::string& value) {
    fileList->SetItemText(row, column, QString::fromStdString(value));
  };
  set(kSource, dialog.sourcePath);
  set(kShortcutName, dialog.shortcutLabel);
  set(kShortcutIcon, dialog.iconPath);
  set(kComponentGuid, dialog.componentGuid);
  set(kUseTargetDir, dialog.workDirIsTargetDir ? "1" : "0");
  set(kDesktopShortcut, dialog.onDesktopToo ? "1" : "0");
  set(kShortcutTarget, dialog.shortcutTarget);
  set(kExtensions, dialog.extensions);
  set(kExtensionDescription, dialog.extensionDescription);
  set(kLaunchOnExit, dialog.launchOnExit ? "1" : "0");
  // Setup starts one program at most: choosing this one takes the offer from any other.
  if (!dialog.launchOnExit) return;
  for (int other = 0; other < fileList->RowCount(); ++other) {
    if (other != row) fileList->SetItemText(other, kLaunchOnExit, QStringLiteral("0"));
  }
}

}  // namespace kb

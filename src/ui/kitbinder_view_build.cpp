// Package ▸ Build and Package ▸ Install.
#include <QDesktopServices>
#include <QUrl>

#include "app/framework/message_box.h"
#include "app/framework/wait_cursor.h"
#include "app/kitbinder_doc.h"
#include "package/build_command.h"
#include "ui/file_list_ctrl.h"
#include "ui/kitbinder_view.h"

namespace kb {

void CKitbinderView::OnPackageBuild() {
  const CWaitCursor wait;
  UpdateData(true);
  if (fileList->RowCount() == 0) {
    AfxMessageBox(QString::fromUtf8(kNoFilesMessage.data(), kNoFilesMessage.size()), window());
    return;
  }
  if (projectFolder.empty()) {
    static_cast<CKitbinderDoc*>(GetDocument())->SaveProjectNow();
    if (projectFolder.empty()) return;
  }
  CProjectSettings settings;
  FillSettings(settings);
  const BuildOutcome outcome = BuildPackage(settings, projectFolder);
  AfxMessageBox(QString::fromStdString(outcome.message), window());

  productCodeText = settings.productcode;
  packageCodeText = settings.packagecode;
  upgradeCodeText = settings.upgradecode;
  for (int row = 0; row < fileList->RowCount(); ++row) {
    const std::string path = fileList->ItemText(row, 0).toStdString();
    const ProjectFileEntry built = settings.FindFile(path);
    if (built.path == path) fileList->SetItemText(row, 3, QString::fromStdString(built.componentguid));
  }
  UpdateData(false);
}

void CKitbinderView::OnPackageInstall() {
  const QString package = QString::fromStdString(projectFolder + "/" + titleText + ".msi");
  QDesktopServices::openUrl(QUrl::fromLocalFile(package));
}

}  // namespace kb

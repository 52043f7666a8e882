// Package ▸ Build and Package ▸ Install.
#include <QDesktopServices>
#include <QFileInfo>
#include <QLocale>
#include <QMainWindow>
#include <QStatusBar>
#include <QUrl>
#include <algorithm>
#include <chrono>

#include "framework/message_box.h"
#include "framework/password_prompt.h"
#include "framework/utf8_text.h"
#include "framework/wait_cursor.h"
#include "package/build_command.h"
#include "project/form_exchange.h"
#include "project/path_in_project.h"
#include "ui/background_build.h"
#include "ui/file_list_ctrl.h"
#include "ui/kitbinder_doc.h"
#include "ui/kitbinder_view.h"

namespace kb {
namespace {

constexpr int kComponentGuidColumn = 3;

// Shows `shown`, the form's project with what a build generated taken into it
// (TakeGeneratedIdentifiers), in the form, where the next save keeps it. Row i was file i of
// the build; a row is matched by position, not by looking its path up, so that a path listed
// twice gets each entry's own GUID rather than the first one's twice (two components with one
// GUID would break the next package).
void ShowGeneratedIdentifiers(CKitbinderView& view, const CProjectSettings& shown) {
  view.productCodeText = shown.productcode;
  view.productCodeVersionText = shown.productcodeversion;
  view.versionedProductCode = shown.productcode;
  view.packageCodeText = shown.packagecode;
  view.upgradeCodeText = shown.upgradecode;
  CFileListCtrl& list = *view.fileList;
  const int rows = std::min(list.RowCount(), shown.GetFileCount());
  for (int row = 0; row < rows; ++row) {
    const ProjectFileEntry& entry = shown.files[static_cast<std::size_t>(row)];
    if (list.ItemText(row, 0).toStdString() == entry.path) {
      list.SetItemText(row, kComponentGuidColumn, FromUtf8(entry.componentguid));
    }
  }
}

// The package a build of `view`'s project makes, or made.
QString PackagePath(const CKitbinderView& view) {
  return FromUtf8(view.projectFolder + "/" + view.titleText + ".msi");
}

// Opens the folder that holds the package at `package` with the desktop's file manager.
void OpenPackageFolder(const QString& package, QWidget* owner) {
  const QString folder = QFileInfo(package).absolutePath();
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) {
    AfxMessageBox(QStringLiteral("No program on this desktop opens folders.\n"
                                 "The package is in %1.")
                      .arg(folder),
                  owner);
  }
}

// Tells the user how a build that was not cancelled, and took `took`, ended: a success in the
// status bar too, with an offer to open the package's folder.
void ShowOutcome(CKitbinderView& view, const BuildOutcome& outcome,
                 std::chrono::steady_clock::duration took) {
  if (!outcome.success) {
    AfxMessageBox(FromUtf8(outcome.message), view.window());
    return;
  }
  view.ShowBuiltPackage(took);
  if (AfxMessageBoxWithOffer(FromUtf8(outcome.message), QStringLiteral("Open Folder"),
                             view.window())) {
    OpenPackageFolder(PackagePath(view), view.window());
  }
}

}  // namespace

void CKitbinderView::OnPackageBuild() {
  const CWaitCursor wait;
  UpdateData(true);
  if (fileList->RowCount() == 0) {
    AfxMessageBox(FromUtf8(kNoFilesMessage), window());
    return;
  }
  if (projectFolder.empty()) {
    Document()->SaveProjectNow();
    if (projectFolder.empty()) return;
  }
  CProjectSettings shown;
  FillSettings(shown);
  if (ShowBuildProblems(shown)) return;
  CProjectSettings settings = shown;
  PackageOptions package_options;
  if (!settings.signcertificate.empty()) {
    // Asked for at each build and kept only for it.
    const std::optional<QString> password = AskPassword(
        window(), QStringLiteral("Sign the Package"),
        QStringLiteral("Password of the certificate %1:").arg(FromUtf8(settings.signcertificate)));
    if (!password) return;
    package_options.signing =
        SigningRequest{PathInProject(projectFolder, settings.signcertificate),
                       password->toStdString(), settings.timestampurl, settings.title};
  }
  // The template follows settings.language.
  const auto started = std::chrono::steady_clock::now();
  const auto [outcome, close_requested] =
      BuildInBackground(settings, projectFolder, this, std::move(package_options));
  if (outcome.cancelled) {
    // Nothing was made: the last package and the form stay as they were. A user closing the
    // window has been told already.
    if (!close_requested) AfxMessageBox(FromUtf8(outcome.message), window());
  } else {
    ShowOutcome(*this, outcome, std::chrono::steady_clock::now() - started);
    TakeGeneratedIdentifiers(shown, settings);
    ShowGeneratedIdentifiers(*this, shown);
    UpdateData(false);
  }
  if (close_requested) window()->close();
}

void CKitbinderView::ShowBuiltPackage(std::chrono::steady_clock::duration took) {
  auto* frame = qobject_cast<QMainWindow*>(window());
  if (frame == nullptr) return;
  const QFileInfo package(PackagePath(*this));
  const double seconds = std::chrono::duration<double>(took).count();
  frame->statusBar()->showMessage(QStringLiteral("Built %1: %2 bytes in %3 s")
                                      .arg(package.absoluteFilePath(),
                                           QLocale().toString(package.size()),
                                           QLocale().toString(seconds, 'f', 1)));
}

void CKitbinderView::OnPackageInstall() {
  UpdateData(true);
  if (projectFolder.empty()) {
    AfxMessageBox(QStringLiteral("This project has not been built yet.\n"
                                 "Package \u25b8 Build (F7) saves it and makes its package."),
                  window());
    return;
  }
  const QString package = PackagePath(*this);
  if (!QFileInfo(package).isFile()) {
    AfxMessageBox(QStringLiteral("The package %1 does not exist.\n"
                                 "Package \u25b8 Build (F7) makes it from the project.")
                      .arg(package),
                  window());
    return;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(package))) {
    AfxMessageBox(QStringLiteral("No program on this desktop opens %1.\n"
                                 "Install it with Wine: wine msiexec /i \"%1\"")
                      .arg(package),
                  window());
  }
}

}  // namespace kb

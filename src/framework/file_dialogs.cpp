#include "framework/file_dialogs.h"

#include <QFileDialog>

namespace kb {
namespace {

// "*.*" would hide the many files on this platform that have no extension, so the dialog
// matches every name while the caption stays as written.
QString PlatformFilter(const QString& filter) {
  QString result = filter;
  return result.replace(QStringLiteral("(*.*)"), QStringLiteral("(*)"));
}

class QtFileDialogs final : public FileDialogs {
 public:
  QString GetOpenFileName(QWidget* owner, const QString& title, const QString& filter,
                          const QString& folder) override {
    return QFileDialog::getOpenFileName(owner, title, folder, PlatformFilter(filter));
  }

  QStringList GetOpenFileNames(QWidget* owner, const QString& title, const QString& filter,
                               const QString& folder) override {
    return QFileDialog::getOpenFileNames(owner, title, folder, PlatformFilter(filter));
  }

  QString GetExistingFolder(QWidget* owner, const QString& title, const QString& folder) override {
    return QFileDialog::getExistingDirectory(owner, title, folder);
  }

  QString GetSaveFileName(QWidget* owner, const QString& title, const QString& filter,
                          const QString& proposed) override {
    QFileDialog dialog(owner, title, QString(), PlatformFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(DefaultSuffix(filter));
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
  }

 private:
  // "kbr" for "kitbinder Files (*.kbr)": a name typed without extension gets the filter's.
  static QString DefaultSuffix(const QString& filter) {
    const qsizetype dot = filter.lastIndexOf(QStringLiteral("(*."));
    if (dot < 0 || !filter.endsWith(')')) return {};
    const QString suffix = filter.mid(dot + 3, filter.size() - dot - 4);
    return suffix == QStringLiteral("*") ? QString() : suffix;
  }
};

QtFileDialogs& QtDialogs() {
  static QtFileDialogs dialogs;
  return dialogs;
}

FileDialogs* installed = nullptr;

}  // namespace

FileDialogs& TheFileDialogs() {
  return installed ? *installed : QtDialogs();
}

void InstallFileDialogs(FileDialogs* dialogs) {
  installed = dialogs;
}

}  // namespace kb

#include "framework/dialog_folders.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace kb {
namespace {

constexpr char kGroup[] = "Dialog Folders";

}  // namespace

QString LastDialogFolder(const QString& kind) {
  QSettings settings;
  settings.beginGroup(kGroup);
  const QString folder = settings.value(kind).toString();
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void RememberDialogFolder(const QString& kind, const QString& chosen) {
  if (chosen.isEmpty()) return;
  const QFileInfo info(chosen);
  QSettings settings;
  settings.beginGroup(kGroup);
  settings.setValue(kind, info.isDir() ? info.absoluteFilePath() : info.absolutePath());
}

QString FirstFolder(std::initializer_list<QString> folders) {
  for (const QString& folder : folders) {
    if (!folder.isEmpty()) return folder;
  }
  return QDir::currentPath();
}

}  // namespace kb

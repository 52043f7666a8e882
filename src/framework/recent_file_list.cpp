#include "framework/recent_file_list.h"

#include <QSettings>

namespace kb {
namespace {

constexpr char kGroup[] = "Recent File List";

QString Key(int index) {
  return QStringLiteral("File%1").arg(index + 1);
}

}  // namespace

CRecentFileList::CRecentFileList(int size) : size_(size) {
  QSettings settings;
  settings.beginGroup(kGroup);
  for (int i = 0; i < size_; ++i) {
    const QString path = settings.value(Key(i)).toString();
    if (!path.isEmpty()) paths_.append(path);
  }
}

void CRecentFileList::Add(const QString& path) {
  paths_.removeIf(
      [&](const QString& held) { return held.compare(path, Qt::CaseInsensitive) == 0; });
  paths_.prepend(path);
  while (paths_.size() > size_) paths_.removeLast();
  Write();
}

void CRecentFileList::Remove(int index) {
  if (index < 0 || index >= paths_.size()) return;
  paths_.removeAt(index);
  Write();
}

void CRecentFileList::Write() const {
  QSettings settings;
  settings.beginGroup(kGroup);
  for (int i = 0; i < size_; ++i) {
    if (i < paths_.size()) {
      settings.setValue(Key(i), paths_[i]);
    } else {
      settings.remove(Key(i));
    }
  }
}

}  // namespace kb

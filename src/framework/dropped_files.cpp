#include "framework/dropped_files.h"

#include <QMimeData>
#include <QUrl>

namespace kb {

QStringList DroppedLocalFiles(const QMimeData* data) {
  QStringList files;
  if (!data || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) files.append(url.toLocalFile());
  }
  return files;
}

}  // namespace kb

#ifndef KITBINDER_FRAMEWORK_DROPPED_FILES_H_
#define KITBINDER_FRAMEWORK_DROPPED_FILES_H_

#include <QStringList>

class QMimeData;

namespace kb {

// The local paths that dragged `data` carries, in its order; empty when it offers no local file
// (or `data` is null). Web addresses and other non-local URLs are left out.
QStringList DroppedLocalFiles(const QMimeData* data);

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_DROPPED_FILES_H_

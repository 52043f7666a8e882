#ifndef KITBINDER_FRAMEWORK_RECENT_FILE_LIST_H_
#define KITBINDER_FRAMEWORK_RECENT_FILE_LIST_H_

#include <QString>
#include <QStringList>

namespace kb {

// The most recently opened or saved documents, newest first, kept in the user's settings
// (QSettings of the application) in the group "Recent File List" under the keys "File1",
// "File2", ... Every change is written at once, so a crash loses nothing.
class CRecentFileList {
 public:
  // Reads the list. REQUIRES: the application's organisation and name are set.
  explicit CRecentFileList(int size);

  // Puts `path` first; an entry naming the same file (letter case ignored) is removed and the
  // oldest entry drops off when the list is full.
  void Add(const QString& path);
  // Removes entry `index`; nothing for an index outside the list.
  void Remove(int index);

  const QStringList& paths() const { return paths_; }

 private:
  void Write() const;

  int size_;
  QStringList paths_;
};

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_RECENT_FILE_LIST_H_

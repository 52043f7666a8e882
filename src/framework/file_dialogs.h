#ifndef KITBINDER_FRAMEWORK_FILE_DIALOGS_H_
#define KITBINDER_FRAMEWORK_FILE_DIALOGS_H_

#include <QString>
#include <QStringList>

class QWidget;

namespace kb {

// The file dialogs the program shows, behind one seam so that a test can answer them in the
// user's place (InstallFileDialogs). Each dialog carries `title`, which says what it chooses, and
// starts in `folder` (empty: the dialog's choice). A filter is one "Name (*.ext)" text; "*.*"
// means every file. The desktop's own dialogs are used where its platform theme offers them.
class FileDialogs {
 public:
  virtual ~FileDialogs() = default;

  // Asks for one existing file. Returns its absolute path, or empty text when the user cancels.
  virtual QString GetOpenFileName(QWidget* owner, const QString& title, const QString& filter,
                                  const QString& folder) = 0;

  // Asks for one or more existing files. Returns their absolute paths in the dialog's order,
  // or an empty list when the user cancels.
  virtual QStringList GetOpenFileNames(QWidget* owner, const QString& title, const QString& filter,
                                       const QString& folder) = 0;

  // Asks for one existing folder. Returns its absolute path, or empty text when the user
  // cancels.
  virtual QString GetExistingFolder(QWidget* owner, const QString& title,
                                    const QString& folder) = 0;

  // Asks for the path to save to, proposing `proposed` (a file name, or a path whose folder the
  // dialog starts in). Returns the absolute path, or empty text when the user cancels.
  virtual QString GetSaveFileName(QWidget* owner, const QString& title, const QString& filter,
                                  const QString& proposed) = 0;
};

// The dialogs in use: Qt's own unless a test installed others.
FileDialogs& TheFileDialogs();

// Makes `dialogs` answer every later request; null brings back Qt's dialogs.
// REQUIRES: `dialogs` outlives its installation. Ownership stays with the caller.
void InstallFileDialogs(FileDialogs* dialogs);

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_FILE_DIALOGS_H_

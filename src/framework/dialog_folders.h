#ifndef KITBINDER_FRAMEWORK_DIALOG_FOLDERS_H_
#define KITBINDER_FRAMEWORK_DIALOG_FOLDERS_H_

#include <QString>
#include <initializer_list>

namespace kb {

// The folders the file dialogs last chose from, one per kind of file (a name such as
// "projects"), kept in the program's settings so that the next run starts there too.

// The kind of the project files' dialogs (Open, Save As).
inline constexpr char kProjectsFolder[] = "projects";

// The folder last chosen from for `kind`; empty when there is none or it no longer exists.
QString LastDialogFolder(const QString& kind);

// Remembers the folder of `chosen` (a file's path, or a folder's own) for `kind`. Empty text
// changes nothing.
void RememberDialogFolder(const QString& kind, const QString& chosen);

// The first of `folders` that is not empty, else the current folder (where the program was
// started, unless something changed it).
QString FirstFolder(std::initializer_list<QString> folders);

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_DIALOG_FOLDERS_H_

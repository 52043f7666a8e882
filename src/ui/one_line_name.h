#ifndef KITBINDER_UI_ONE_LINE_NAME_H_
#define KITBINDER_UI_ONE_LINE_NAME_H_

#include <QString>
#include <string>

class QWidget;

namespace kb {

// A project file keeps one setting per line, so a file name holding a line break (CR or LF)
// cannot be stored: it would come back as another name. Returns true when `name` holds none;
// otherwise shows a message box over `owner` that names it and says why, and returns false.
[[nodiscard]] bool AcceptOneLineName(const QString& name, QWidget* owner);

// The kind of the dialogs that choose the project's own files (dialog_folders.h).
inline constexpr char kFilesFolder[] = "files";

// Asks for an existing file with `filter` in a dialog titled `title`, starting in `start_folder`
// (when it is empty, where such a file was last chosen, or else the current folder). Returns its
// path, the folder being remembered; empty text when the user cancels or the name is refused
// (the user has been told why).
QString ChooseOneLineFile(QWidget* owner, const QString& title, const QString& filter,
                          const std::string& start_folder);

}  // namespace kb

#endif  // KITBINDER_UI_ONE_LINE_NAME_H_

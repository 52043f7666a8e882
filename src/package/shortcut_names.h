#ifndef KITBINDER_PACKAGE_SHORTCUT_NAMES_H_
#define KITBINDER_PACKAGE_SHORTCUT_NAMES_H_

#include <string>
#include <string_view>

namespace kb {

// The key under which an icon file is stored in the package's Icon table and named by
// shortcuts: the icon's file name with every ".ico" made ".exe" (letter case kept, so
// "APP.ICO" stays). The installer wants icon keys to end in the extension of a program.
std::string IconKey(std::string_view icon_file_name);

// The Directory row's default directory of the Start Menu folder for a product: the title
// without spaces cut to 8 characters, "|", the title ("MyGreatP|My Great Product").
std::string MenuFolderDefaultDir(std::string_view title);

// The Name of a shortcut to a file whose installer file name is `short_long` ("SETUP~1.EXE|
// Setup Tool.exe"), labelled `shortcut_name`:
// - "default": `short_long` cut before its last "." ("SETUP~1.EXE|Setup Tool");
// - otherwise the short name without its extension, "|", the label ("SETUP~1|My Tool").
// Where a name has no ".", the whole name is kept, so the label is never empty.
std::string ShortcutLabel(std::string_view short_long, std::string_view shortcut_name);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_SHORTCUT_NAMES_H_

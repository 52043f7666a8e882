#ifndef KITBINDER_APP_APP_STRINGS_H_
#define KITBINDER_APP_APP_STRINGS_H_

namespace kb {

// The program's fixed texts that more than one window shows.

// The document template's fields, separated by line feeds: window title, document name (empty:
// a new project is "Untitled"), file-new name, file dialog filter, extension, file type id and
// file type name.
inline constexpr char kDocTemplateString[] =
    "kitbinder\n\nkitbinde\nkitbinder Files (*.kbr)\n.kbr\nKitbinder.Document\nkitbinder file";
inline constexpr char kAppTitle[] = "kitbinder";
inline constexpr char kVersionLine[] = "kitbinder Version 1.0.0.6";
inline constexpr char kVersion[] = "1.0.0.6";
// The About box gives the notice 140 dialog units, some 35 letters.
inline constexpr char kNoticeLine[] = "\u00a9 2026 the kitbinder developers";
inline constexpr char kWebAddress[] = "https://kitbinder.org/";
inline constexpr char kHelpFileName[] = "kitbinder.html";

}  // namespace kb

#endif  // KITBINDER_APP_APP_STRINGS_H_

#ifndef KITBINDER_PROJECT_PROJECT_FILE_ENTRY_H_
#define KITBINDER_PROJECT_PROJECT_FILE_ENTRY_H_

#include <string>

namespace kb {

// One file to install, as the project lists it. A plain value: texts are UTF-8 and never
// interpreted here (no path or GUID checks); two entries are equal when every member is equal
// byte for byte.
struct ProjectFileEntry {
  std::string path;              // the source file
  std::string shortcutname;      // the Start Menu shortcut's label; empty for no shortcut
  std::string shortcuticon;      // the shortcut's icon file
  std::string id;                // the file's key in the package
  std::string componentid;       // the key of the file's component
  std::string componentguid;     // the component's GUID
  bool setkdir = false;          // the shortcut starts in the target folder
  bool desktopshortcut = false;  // the shortcut is on the desktop too
  // For a folder: the file inside it the shortcut starts, "/"-separated below the folder
  // ("bin/tool.exe"). Readers that know no folder rows ignore its key.
  std::string shortcuttarget;
  // The document types a program opens: extensions separated by ";" (".abc;.abcd"), empty for
  // none, and the text Windows shows for such documents.
  std::string extensions;
  std::string extensiondescription;
  // The installer's finish dialog offers to start this program when setup exits. At most one
  // file of a project asks for it.
  bool launchonexit = false;

  bool operator==(const ProjectFileEntry&) const = default;
};

}  // namespace kb

#endif  // KITBINDER_PROJECT_PROJECT_FILE_ENTRY_H_

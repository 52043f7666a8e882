#ifndef KITBINDER_UI_FILES_HELP_TEXT_H_
#define KITBINDER_UI_FILES_HELP_TEXT_H_

#include <string>

#include "project/install_target.h"

namespace kb {

// The "Files to Install" page's help text (string 40000) with the default folder it names made
// the one a package of `scope` and `platform` installs into.
std::string FilesHelpText(InstallScope scope, TargetPlatform platform);

}  // namespace kb

#endif  // KITBINDER_UI_FILES_HELP_TEXT_H_

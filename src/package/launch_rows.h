#ifndef KITBINDER_PACKAGE_LAUNCH_ROWS_H_
#define KITBINDER_PACKAGE_LAUNCH_ROWS_H_

#include <optional>
#include <string>

#include "package/installer_database.h"
#include "project/project_settings.h"

namespace kb {

// The rows that let the finish dialog start the project's program when setup exits: the
// template's hidden check box "Launch [ProductName]" (bound to LaunchOnExit, ticked by
// default) is shown after an installation, never after a repair, a removal or an
// administrative installation; Finish then starts the program from the install folder without
// waiting for it, when the box is ticked. A silent installation shows no dialog and so never
// starts it. Nothing is added when no file asks (`launchonexit`), so such a package keeps the
// template's dialogs as they are. The rows reach the file with the next commit. Returns which
// row could not be added; nullopt also when no file asks.
// REQUIRES: database.is_open(); at most one file asks, a program file whose `id` is set.
[[nodiscard]] std::optional<std::string> AddLaunchRows(CInstallerDatabase& database,
                                                       const CProjectSettings& settings);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_LAUNCH_ROWS_H_

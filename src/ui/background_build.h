#ifndef KITBINDER_UI_BACKGROUND_BUILD_H_
#define KITBINDER_UI_BACKGROUND_BUILD_H_

#include <string>

#include "package/build_command.h"
#include "project/project_settings.h"

class QWidget;

namespace kb {

// What a build in the background came to.
struct BackgroundBuild {
  BuildOutcome outcome;
  // The user asked to close the main window during the build, and so cancelled it: the window
  // is to close once the build has ended.
  bool close_requested = false;
};

// Builds the package of `settings` in `project_folder` as BuildPackage does, on a worker
// thread, while this thread keeps the program's windows painted and, once the build has taken
// a moment, shows a CBuildProgressDlg over `owner`'s window with the file being packed and the
// share of the data done. Until the dialog shows, user input waits, as it would behind a build
// that held this thread; then it reaches the dialog alone, whose Cancel stops the build (see
// PackageOptions::stop). `owner`'s window, when it is the main frame, is held in its modal state
// meanwhile (no other project opened); a request to close it asks whether to cancel the build.
//
// Returns the build's outcome, a failed one when the build ran out of memory or stopped on
// another exception; `settings` then holds what the build generated. No thread of the build
// outlives the call.
// REQUIRES: called on the user-interface thread of a running application; until it returns,
// nothing else uses `settings` or the package build (the windows' event handlers do not).
BackgroundBuild BuildInBackground(CProjectSettings& settings, const std::string& project_folder,
                                  QWidget* owner, PackageOptions package_options = {});

}  // namespace kb

#endif  // KITBINDER_UI_BACKGROUND_BUILD_H_

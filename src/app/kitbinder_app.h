#ifndef KITBINDER_APP_KITBINDER_APP_H_
#define KITBINDER_APP_KITBINDER_APP_H_

#include <optional>

#include "framework/win_app.h"

namespace kb {

class CKitbinderDoc;
class CKitbinderView;
class CMainFrame;

// The desktop program: starts with a new project or the project named on the command line,
// and answers Help ▸ Contents and Help ▸ About.
//
//   kitbinder [PROJECT.kbr]     --help and --version print and end
class CKitbinderApp : public CWinApp {
 public:
  CKitbinderApp(int& argc, char** argv);

  // Answers --help and --version on standard output (they need no display). Returns the exit
  // status when `arguments` asked for one of them, nullopt otherwise.
  static std::optional<int> AnswerInformationRequest(int argc, char** argv);

  // Settings, the recent files, the document template, then the command line: no argument
  // starts a new project, a path opens that project. False (with the exit status set) for
  // bad usage or a project that cannot be opened.
  bool InitInstance() override;

  // Opens the help page (kitbinder.html beside the program, or in ../share/kitbinder) in the
  // desktop's browser.
  void WinHelp() override;

  // Help ▸ About, and the commands of CWinApp.
  bool OnCmdMsg(int id) override;

  CMainFrame& Frame() const;
  CKitbinderDoc& Document() const;
  CKitbinderView& View() const;

 private:
  // Handles the arguments; false when the program is to end.
  bool ProcessShellCommand();
};

}  // namespace kb

#endif  // KITBINDER_APP_KITBINDER_APP_H_

#include "package/launch_rows.h"

#include <algorithm>
#include <string_view>

namespace kb {
namespace {

// A program installed with the package (18), started asynchronously without waiting for it to
// end or looking at its exit code (64 + 128), so that setup closes at once.
constexpr int kStartInstalledProgramNoWait = 18 + 64 + 128;
constexpr char kStartAction[] = "StartProgram";
// After a first installation only: repair, removal and administrative installations share the
// finish dialog.
constexpr std::string_view kAfterInstall = "NOT Installed AND ACTION <> \"ADMIN\"";
// Before EndDialog (ordered 1 in the template), which closes the dialog.
constexpr int kBeforeEndDialog = 0;

}  // namespace

std::optional<std::string> AddLaunchRows(CInstallerDatabase& database,
                                         const CProjectSettings& settings) {
  const auto program = std::ranges::find_if(
      settings.files, [](const ProjectFileEntry& file) { return file.launchonexit; });
  if (program == settings.files.end()) return std::nullopt;
  if (!database.Execute("insert into `CustomAction` (`Action`,`Type`,`Source`) values(?,?,?)",
                        {kStartAction, kStartInstalledProgramNoWait, program->id})) {
    return "CustomAction";
  }
  if (!database.Execute("insert into `ControlCondition` (`Dialog_`,`Control_`,`Action`,"
                        "`Condition`) values('FinishedForm','LaunchCheck','Show',?)",
                        {kAfterInstall})) {
    return "ControlCondition";
  }
  const std::string ticked = "LaunchOnExit AND " + std::string(kAfterInstall);
  if (!database.Execute("insert into `ControlEvent` (`Dialog_`,`Control_`,`Event`,`Argument`,"
                        "`Condition`,`Ordering`) values('FinishedForm','Finish','DoAction',?,?,?)",
                        {kStartAction, ticked, kBeforeEndDialog})) {
    return "ControlEvent";
  }
  database.CloseView();
  return std::nullopt;
}

}  // namespace kb

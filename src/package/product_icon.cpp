#include "package/product_icon.h"

#include <algorithm>

#include "package/shortcut_names.h"
#include "platform/file_name_from_path.h"

namespace kb {

bool SetProductIcon(CInstallerDatabase& database, const CProjectSettings& settings) {
  const auto shortcut = std::ranges::find_if(settings.files, [](const ProjectFileEntry& file) {
    return !file.shortcutname.empty() && !file.shortcuticon.empty();
  });
  if (shortcut == settings.files.end()) return true;
  const bool added =
      database.Execute("insert into `Property` (`Property`,`Value`) values('ARPPRODUCTICON',?)",
                       {IconKey(platform::FileNameFromPath(shortcut->shortcuticon))});
  database.CloseView();
  return added;
}

}  // namespace kb

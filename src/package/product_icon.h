#ifndef KITBINDER_PACKAGE_PRODUCT_ICON_H_
#define KITBINDER_PACKAGE_PRODUCT_ICON_H_

#include "package/installer_database.h"
#include "project/project_settings.h"

namespace kb {

// Gives the product's entry in Add/Remove Programs the icon of the first shortcut that has one
// (ARPPRODUCTICON, naming that icon's Icon row); leaves the entry without an icon when no
// shortcut has one. The row reaches the file with the next commit. True when the entry is as
// the project asks: the row was added, or no shortcut has an icon; false when the row could not
// be added.
[[nodiscard]] bool SetProductIcon(CInstallerDatabase& database, const CProjectSettings& settings);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_PRODUCT_ICON_H_

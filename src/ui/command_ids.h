#ifndef KITBINDER_UI_COMMAND_IDS_H_
#define KITBINDER_UI_COMMAND_IDS_H_

namespace kb {

// kitbinder's own commands; the framework's standard ones are in framework/standard_ids.h.
inline constexpr int ID_PACKAGE_BUILD = 32771;
inline constexpr int ID_PACKAGE_INSTALL = 32773;

}  // namespace kb

#endif  // KITBINDER_UI_COMMAND_IDS_H_

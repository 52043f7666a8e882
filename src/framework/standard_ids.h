#ifndef KITBINDER_FRAMEWORK_STANDARD_IDS_H_
#define KITBINDER_FRAMEWORK_STANDARD_IDS_H_

namespace kb {

// The framework's own command and result numbers. Commands reach their handlers by these
// numbers (CCmdTarget::OnCmdMsg), so the menus, accelerators and toolbar of a program name a
// command once and every route to it agrees.

// What DoModal answers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

inline constexpr int ID_FILE_NEW = 57600;
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_FILE_SAVE = 57603;
inline constexpr int ID_FILE_SAVE_AS = 57604;
inline constexpr int ID_FILE_MRU_FILE1 = 57616;  // the first recent file; the others follow
inline constexpr int ID_FILE_MRU_LAST = 57631;   // room for sixteen
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_HELP_INDEX = 57670;
inline constexpr int ID_VIEW_TOOLBAR = 59392;
inline constexpr int ID_VIEW_STATUS_BAR = 59393;

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_STANDARD_IDS_H_

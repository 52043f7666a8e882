#ifndef KITBINDER_PLATFORM_LEFTOVER_FILES_H_
#define KITBINDER_PLATFORM_LEFTOVER_FILES_H_

#include <string>
#include <string_view>

namespace kb::platform {

// Work files (staging temporaries, a package or cabinet not yet in place) that outlive their
// process only when it is killed outright (SIGKILL, a power cut), where no handler runs. So
// that a later process can remove such leftovers and never a live file, a work file says who
// made it: its name holds the maker's process id after a fixed prefix ("<prefix><pid>-..."),
// and the maker holds an exclusive lock (flock) on the open file while it is in use.

// "<pid>-": the text that follows a work file's prefix in its name.
std::string OwnerTag();

// Takes the lock that marks the open file `fd` as in use, for as long as this open file stays
// open (any descriptor of it). Returns false when the system refuses the lock.
bool LockAsInUse(int fd);

// Removes the files in `folder` whose names are `prefix`, a process id, "-" and anything,
// when they are leftovers: no process has that id, and no one holds the file's lock. Other
// files, links and folders are left alone; a file that cannot be checked is left too.
void RemoveLeftovers(const std::string& folder, std::string_view prefix);

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_LEFTOVER_FILES_H_

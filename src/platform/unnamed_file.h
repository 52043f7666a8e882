#ifndef KITBINDER_PLATFORM_UNNAMED_FILE_H_
#define KITBINDER_PLATFORM_UNNAMED_FILE_H_

#include <string>

namespace kb::platform {

// Opens a new, empty file in `folder` that has no name, for reading and writing by its owner:
// it is gone with its last descriptor, however the process ends, even killed outright. Returns
// the descriptor, which the caller closes, or -1 with errno set; where the system or the file
// system cannot make such files (EOPNOTSUPP, EISDIR, EINVAL) the caller makes a named one.
int OpenUnnamedFile(const std::string& folder);

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_UNNAMED_FILE_H_

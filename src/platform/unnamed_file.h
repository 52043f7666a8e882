#ifndef KITBINDER_PLATFORM_UNNAMED_FILE_H_
#define KITBINDER_PLATFORM_UNNAMED_FILE_H_

#include <string>

#include "platform/unique_fd.h"

namespace kb::platform {

// Opens a new, empty file in `folder` that has no name, for reading and writing by its owner:
// it is gone with its last descriptor, however the process ends, even killed outright. Returns
// the descriptor, which the caller closes, or -1 with errno set; where the system or the file
// system cannot make such files (EOPNOTSUPP, EISDIR, EINVAL) the caller makes a named one.
int OpenUnnamedFile(const std::string& folder);

// A new, empty scratch file in TempFolder(), for reading and writing by its owner: unnamed where
// the file system allows it, else named and removed at once, so that either way it is gone with
// its descriptor. Invalid when neither can be made.
UniqueFd NewTemporaryFile();

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_UNNAMED_FILE_H_

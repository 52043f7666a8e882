#ifndef KITBINDER_PLATFORM_REGULAR_FILE_H_
#define KITBINDER_PLATFORM_REGULAR_FILE_H_

#include <fcntl.h>

#include <cstddef>
#include <optional>
#include <string>

#include "platform/unique_fd.h"

namespace kb::platform {

// Opens the file at `path` for reading (or with `access`, O_RDONLY or O_RDWR) when it is a
// regular file. A pipe or a device named by mistake is refused without waiting for a writer: it
// is opened non-blocking and its type told from the open descriptor, so nothing swapped in
// between a check and the open can stall the caller. On failure returns an invalid descriptor
// and puts in *problem why, as a phrase to follow the path: "is a folder", "is a pipe, socket or
// device, not a file", or "cannot be opened (REASON)" with the system's reason. errno then holds
// that reason's code, or EISDIR or ENODEV for the first two.
UniqueFd OpenRegularFile(const std::string& path, std::string* problem, int access = O_RDONLY);

// The first `limit` bytes of the regular file at `path` (all of it by default); nullopt with
// *problem set as OpenRegularFile sets it, or to the reason a read failed.
std::optional<std::string> ReadRegularFile(const std::string& path, std::string* problem,
                                           std::size_t limit = std::string::npos);

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_REGULAR_FILE_H_

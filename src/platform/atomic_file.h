#ifndef KITBINDER_PLATFORM_ATOMIC_FILE_H_
#define KITBINDER_PLATFORM_ATOMIC_FILE_H_

#include <string>
#include <string_view>

namespace kb::platform {

// Writes `contents` to `path` so that a reader sees either the old file or the whole new one:
// the bytes go to a temporary file in the same folder, are flushed to disk, and the temporary
// file is renamed over `path`. Returns false, leaving any old file untouched and no temporary
// file behind, when any step fails (missing or read-only folder, disk full); errno then
// tells why.
bool WriteFileAtomically(const std::string& path, std::string_view contents);

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_ATOMIC_FILE_H_

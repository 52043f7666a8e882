#ifndef KITBINDER_CLI_OPEN_FAILURE_H_
#define KITBINDER_CLI_OPEN_FAILURE_H_

#include <string>

namespace kb::cli {

// The message for a database at `path` that would not open: "cannot open PATH", followed by
// the reason when the engine can give one beyond its error code (an unsupported code page).
std::string CannotOpen(const std::string& path);

}  // namespace kb::cli

#endif  // KITBINDER_CLI_OPEN_FAILURE_H_

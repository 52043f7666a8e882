#ifndef KITBINDER_CLI_OPEN_FAILURE_H_
#define KITBINDER_CLI_OPEN_FAILURE_H_

#include <string>

namespace kb::cli {

// The message for a database at `path` that would not open, "cannot open PATH: REASON", the
// reason being the first that holds: "no such file"; "it is a folder"; "it is a pipe, socket or
// device, not a file"; the system's reason it cannot be read; "it is read-only" when
// `for_writing` (a change was to be made) and this user may not write it; the engine's reason
// (a code page it cannot read); "it is not an installer database, or it is damaged".
std::string CannotOpen(const std::string& path, bool for_writing = false);

// The engine's reason for the failure of the last call that gives one, as ": REASON" to follow
// a message; empty when it gave none.
std::string EngineReason();

}  // namespace kb::cli

#endif  // KITBINDER_CLI_OPEN_FAILURE_H_

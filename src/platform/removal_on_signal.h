#ifndef KITBINDER_PLATFORM_REMOVAL_ON_SIGNAL_H_
#define KITBINDER_PLATFORM_REMOVAL_ON_SIGNAL_H_

#include <string>

namespace kb::platform {

// A temporary file that is not to outlive an interrupted program: while the object lives, the
// file at `path` is removed should the process be ended by SIGINT, SIGTERM or SIGHUP (Ctrl-C, a
// kill, a closed terminal) once RemoveMarkedFilesOnSignals has run. Up to 64 files are marked at
// a time; a path beyond that, or one too long to keep, is simply not marked.
class RemovalOnSignal {
 public:
  explicit RemovalOnSignal(const std::string& path);
  ~RemovalOnSignal();
  RemovalOnSignal(const RemovalOnSignal&) = delete;
  RemovalOnSignal& operator=(const RemovalOnSignal&) = delete;

 private:
  int slot_ = -1;
};

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the marked files and then end the
// process by the same signal, as it would have ended without them. For programs, not libraries.
void RemoveMarkedFilesOnSignals();

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_REMOVAL_ON_SIGNAL_H_

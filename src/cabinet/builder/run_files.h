#ifndef KITBINDER_CABINET_BUILDER_RUN_FILES_H_
#define KITBINDER_CABINET_BUILDER_RUN_FILES_H_

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/removal_on_signal.h"

namespace kb::cabinet {

// The files one cabinet run makes, so that none outlives a failed or interrupted run: each
// staging temporary is marked for removal on a signal from its creation until the writer
// removes it, each cabinet while it is being written, and the cabinets written are listed so
// that a failed run can take back what it left.
// Not thread-safe: fed by the writer's callbacks, which run on the thread that calls the writer.
class RunFiles {
 public:
  // Marks `path`, which the writer is about to create, for removal on a signal.
  void Creating(const std::string& path);

  // Records a file the writer created as handle `handle`: a cabinet when `cabinet`, else a
  // staging temporary.
  void Opened(int handle, const std::string& path, bool cabinet);

  // A cabinet's file is complete on close: no longer removed on a signal, still listed.
  void Closed(int handle);

  // The writer removed the temporary at `path`, or failed to create it.
  void Removed(const std::string& path);

  // The staging temporary the writer asked for at `path` was made without a name, so that no
  // kill can leave it behind: there is nothing to mark, and nothing to remove.
  void OpenedUnnamed(const std::string& path);
  // True, forgetting it, when the temporary at `path` was made without a name.
  bool ForgetUnnamed(const std::string& path);

  // Removes every cabinet listed since the last call (failures ignored: the caller reports the
  // run's own failure) and empties the list.
  void RemoveCabinets();

 private:
  std::map<std::string, platform::RemovalOnSignal> marked_;  // by path
  std::map<int, std::string> open_cabinets_;                 // path by handle
  std::vector<std::string> cabinets_;
  std::multiset<std::string> unnamed_;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_BUILDER_RUN_FILES_H_

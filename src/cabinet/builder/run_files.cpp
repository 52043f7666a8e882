#include "cabinet/builder/run_files.h"

#include <unistd.h>

namespace kb::cabinet {

void RunFiles::Creating(const std::string& path) {
  marked_.try_emplace(path, path);
}

void RunFiles::Opened(int handle, const std::string& path, bool cabinet) {
  if (!cabinet) return;
  open_cabinets_[handle] = path;
  cabinets_.push_back(path);
}

void RunFiles::Closed(int handle) {
  const auto it = open_cabinets_.find(handle);
  if (it == open_cabinets_.end()) return;
  marked_.erase(it->second);
  open_cabinets_.erase(it);
}

void RunFiles::Removed(const std::string& path) {
  marked_.erase(path);
}

void RunFiles::OpenedUnnamed(const std::string& path) {
  unnamed_.insert(path);
}

bool RunFiles::ForgetUnnamed(const std::string& path) {
  const auto it = unnamed_.find(path);
  if (it == unnamed_.end()) return false;
  unnamed_.erase(it);
  return true;
}

void RunFiles::RemoveCabinets() {
  for (const std::string& path : cabinets_) {
    marked_.erase(path);
    ::unlink(path.c_str());
  }
  cabinets_.clear();
  open_cabinets_.clear();
}

}  // namespace kb::cabinet

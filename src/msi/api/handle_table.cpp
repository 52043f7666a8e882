#include "msi/api/handle_table.h"

#include <cstdint>

namespace kb::msi {

HandleTable& HandleTable::Instance() {
  static HandleTable table;
  return table;
}

std::uint32_t HandleTable::Add(HandleObject object) {
  if (last_ == UINT32_MAX) return 0;
  ++last_;
  objects_.emplace(last_, std::move(object));
  return last_;
}

bool HandleTable::Close(std::uint32_t handle) {
  // The object may be destroyed here (a direct database commits): take it out first.
  const auto it = objects_.find(handle);
  if (it == objects_.end()) return false;
  HandleObject object = std::move(it->second);
  objects_.erase(it);
  return true;
}

}  // namespace kb::msi

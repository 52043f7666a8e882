#ifndef KITBINDER_MSI_API_HANDLE_TABLE_H_
#define KITBINDER_MSI_API_HANDLE_TABLE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <variant>

#include "msi/api/summary_handle.h"
#include "msi/db/database.h"
#include "msi/db/record.h"
#include "msi/sql/view.h"

namespace kb::msi {

using HandleObject = std::variant<std::shared_ptr<Database>, std::shared_ptr<View>,
                                  std::shared_ptr<Record>, std::shared_ptr<SummaryHandle>>;

// The process's installer handles: small numbers that stand for the engine's objects across
// the C interface. A handle is never reused while the process lives, so a closed or wrong
// handle is always recognised and never reaches another object. An object lives while a
// handle or another object (a view's database, a record's stream) holds it.
// Not thread-safe, like the rest of the engine.
class HandleTable {
 public:
  static HandleTable& Instance();

  // A table whose next handle is last_issued + 1; the process's own starts at 1.
  explicit HandleTable(std::uint32_t last_issued = 0) : last_(last_issued) {}

  // Registers `object`; returns its new handle, or 0 without registering it once every number
  // has been issued (counting on from 0 would hand out handles callers may still hold).
  std::uint32_t Add(HandleObject object);

  // The object of `handle` when it is a T; null for 0, a closed or unknown handle, or another
  // kind of object.
  template <typename T>
  std::shared_ptr<T> Get(std::uint32_t handle) const {
    const auto it = objects_.find(handle);
    if (it == objects_.end()) return nullptr;
    const auto* object = std::get_if<std::shared_ptr<T>>(&it->second);
    return object ? *object : nullptr;
  }

  // Releases `handle`; false when it is not open.
  [[nodiscard]] bool Close(std::uint32_t handle);

  std::size_t open_count() const { return objects_.size(); }

 private:
  std::map<std::uint32_t, HandleObject> objects_;
  std::uint32_t last_ = 0;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_API_HANDLE_TABLE_H_

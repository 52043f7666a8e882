#ifndef KITBINDER_MSI_API_SCOPED_HANDLE_H_
#define KITBINDER_MSI_API_SCOPED_HANDLE_H_

#include <utility>

#include "msi/api/msi_interface.h"

namespace kb::msi {

// Owns one installer handle and closes it on destruction. Movable, not copyable.
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(MSIHANDLE handle) : handle_(handle) {}
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.handle_, 0));
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { Reset(); }

  MSIHANDLE get() const { return handle_; }
  // For out parameters: closes the held handle and gives its slot to be filled.
  MSIHANDLE* Receive() {
    Reset();
    return &handle_;
  }
  void Reset(MSIHANDLE handle = 0) {
    Close();
    handle_ = handle;
  }
  // Closes the held handle (if any); MsiCloseHandle's result.
  UINT Close() { return MsiCloseHandle(std::exchange(handle_, 0)); }

 private:
  MSIHANDLE handle_ = 0;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_API_SCOPED_HANDLE_H_

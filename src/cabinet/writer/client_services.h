#ifndef KITBINDER_CABINET_WRITER_CLIENT_SERVICES_H_
#define KITBINDER_CABINET_WRITER_CLIENT_SERVICES_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "cabinet/writer/cabinet_writer.h"

namespace kb::cabinet {

// Callback values are 32-bit; a larger size is passed as the largest value rather than wrapped.
inline std::uint32_t CallbackValue(std::uint64_t value) {
  return value > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(value);
}

// A block from the client's allocate callback, returned through its free callback.
class ClientBuffer {
 public:
  ClientBuffer() = default;
  ClientBuffer(void* block, std::size_t size, FreeCallback free)
      : block_(static_cast<std::byte*>(block), Release{free}), size_(block ? size : 0) {}

  explicit operator bool() const { return block_ != nullptr; }
  std::span<std::byte> span() const { return {block_.get(), size_}; }
  std::size_t size() const { return size_; }

 private:
  struct Release {
    FreeCallback free;
    void operator()(std::byte* block) const { free(block); }
  };
  std::unique_ptr<std::byte, Release> block_{nullptr, Release{nullptr}};
  std::size_t size_ = 0;
};

// The writer's way to the client: its callbacks, its context and its error record. Every
// failure the writer reports goes through Fail, so the record is filled in one place.
class ClientServices {
 public:
  // REQUIRES: *error outlives this object.
  ClientServices(const CabinetCallbacks& callbacks, CabinetError* error, void* ctx)
      : callbacks_(callbacks), error_(error), ctx_(ctx) {}

  // Fills the error record; returns false so that callers can `return Fail(...)`.
  bool Fail(FciError code, int runtime_error = 0);

  // An empty buffer when the client has no memory; the caller reports kAllocFail.
  ClientBuffer Allocate(std::size_t size) const;

  const CabinetCallbacks& callbacks() const { return callbacks_; }
  void* ctx() const { return ctx_; }

  // The file callbacks, with the client context filled in. A read or write result of -1 or of
  // any count other than the one asked for (read: above it) is the caller's to report.
  int Open(const std::string& path, int flags, int& err) const;
  std::int32_t Read(int handle, std::span<std::byte> buffer, int& err) const;
  bool WriteAll(int handle, std::span<const std::byte> buffer, int& err) const;
  bool Close(int handle, int& err) const;
  std::int64_t Seek(int handle, std::int64_t distance, int origin, int& err) const;
  bool Remove(const std::string& path, int& err) const;

 private:
  CabinetCallbacks callbacks_;
  CabinetError* error_;
  void* ctx_;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_WRITER_CLIENT_SERVICES_H_

#include "cabinet/writer/client_services.h"

namespace kb::cabinet {

bool ClientServices::Fail(FciError code, int runtime_error) {
  error_->code = static_cast<std::int32_t>(code);
  error_->runtime_error = runtime_error;
  error_->failed = true;
  return false;
}

ClientBuffer ClientServices::Allocate(std::size_t size) const {
  return ClientBuffer(callbacks_.allocate(size), size, callbacks_.free);
}

int ClientServices::Open(const std::string& path, int flags, int& err) const {
  return callbacks_.open(path, flags, kOpenMode, err, ctx_);
}

std::int32_t ClientServices::Read(int handle, std::span<std::byte> buffer, int& err) const {
  return callbacks_.read(handle, buffer, err, ctx_);
}

bool ClientServices::WriteAll(int handle, std::span<const std::byte> buffer, int& err) const {
  return callbacks_.write(handle, buffer, err, ctx_) == static_cast<std::int32_t>(buffer.size());
}

bool ClientServices::Close(int handle, int& err) const {
  return callbacks_.close(handle, err, ctx_) == 0;
}

std::int64_t ClientServices::Seek(int handle, std::int64_t distance, int origin, int& err) const {
  return callbacks_.seek(handle, distance, origin, err, ctx_);
}

bool ClientServices::Remove(const std::string& path, int& err) const {
  return callbacks_.remove(path, err, ctx_) == 0;
}

}  // namespace kb::cabinet

#include "cabinet/writer/temp_file.h"

#include <array>
#include <utility>

namespace kb::cabinet {
namespace {

constexpr int kCreateAttempts = 11;

}  // namespace

TempFile::TempFile(TempFile&& other) noexcept
    : services_(other.services_),
      handle_(std::exchange(other.handle_, -1)),
      size_(std::exchange(other.size_, 0)),
      at_end_(std::exchange(other.at_end_, true)),
      name_(std::move(other.name_)) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    // An assignment cannot report; as on destruction, a failure to close or remove is ignored.
    static_cast<void>(Destroy());
    services_ = other.services_;
    handle_ = std::exchange(other.handle_, -1);
    size_ = std::exchange(other.size_, 0);
    at_end_ = std::exchange(other.at_end_, true);
    name_ = std::move(other.name_);
  }
  return *this;
}

TempFile::~TempFile() {
  if (!is_open()) return;
  int ignored = 0;
  services_->Close(handle_, ignored);
  services_->Remove(name_, ignored);
}

bool TempFile::Create() {
  int err = 0;
  std::array<char, kCabinetNameCapacity> name{};
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    name.fill('\0');
    if (!services_->callbacks().temp_name(name, services_->ctx())) continue;
    name.back() = '\0';
    std::string path(name.data());
    const int handle = services_->Open(path, kOpenTemporaryFlags, err);
    if (handle == -1) continue;
    handle_ = handle;
    size_ = 0;
    at_end_ = true;
    name_ = std::move(path);
    return true;
  }
  return Fail(err);
}

bool TempFile::Append(std::span<const std::byte> bytes) {
  if (!at_end_ && !SeekTo(static_cast<std::int64_t>(size_))) return false;
  at_end_ = true;
  size_ += bytes.size();
  int err = 0;
  return services_->WriteAll(handle_, bytes, err) || Fail(err);
}

bool TempFile::Overwrite(std::int64_t offset, std::span<const std::byte> bytes) {
  if (!SeekTo(offset)) return false;
  int err = 0;
  return services_->WriteAll(handle_, bytes, err) || Fail(err);
}

bool TempFile::SeekTo(std::int64_t offset) {
  at_end_ = false;
  int err = 0;
  return services_->Seek(handle_, offset, 0, err) == offset || Fail(err);
}

std::optional<std::size_t> TempFile::ReadFull(std::span<std::byte> out) {
  at_end_ = false;
  std::size_t done = 0;
  while (done < out.size()) {
    int err = 0;
    const std::span<std::byte> rest = out.subspan(done);
    const std::int32_t n = services_->Read(handle_, rest, err);
    if (n == 0) break;
    if (n < 0 || static_cast<std::size_t>(n) > rest.size()) {
      Fail(err);
      return std::nullopt;
    }
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool TempFile::ReadExact(std::span<std::byte> out) {
  const std::optional<std::size_t> n = ReadFull(out);
  if (!n) return false;
  return *n == out.size() || Fail(0);
}

bool TempFile::Destroy() {
  if (!is_open()) return true;
  int err = 0;
  const bool closed = services_->Close(std::exchange(handle_, -1), err);
  const bool removed = services_->Remove(name_, err);
  size_ = 0;
  return (closed && removed) || Fail(err);
}

std::optional<int> TempFile::Release() {
  int err = 0;
  if (!services_->Remove(name_, err)) {
    Fail(err);
    return std::nullopt;
  }
  size_ = 0;
  return std::exchange(handle_, -1);
}

}  // namespace kb::cabinet

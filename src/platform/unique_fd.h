#ifndef KITBINDER_PLATFORM_UNIQUE_FD_H_
#define KITBINDER_PLATFORM_UNIQUE_FD_H_

#include <unistd.h>

#include <utility>

namespace kb::platform {

// Owns a POSIX file descriptor and closes it on destruction. Movable, not copyable.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Gives up ownership without closing.
  int Release() { return std::exchange(fd_, -1); }

  // Closes the held descriptor (if any) and takes `fd`. Returns false when close failed,
  // which for a written file can mean its data did not reach the disk.
  bool Reset(int fd = -1) {
    const bool ok = fd_ < 0 || ::close(fd_) == 0;
    fd_ = fd;
    return ok;
  }

 private:
  int fd_ = -1;
};

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_UNIQUE_FD_H_

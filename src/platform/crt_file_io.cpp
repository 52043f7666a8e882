#include "platform/crt_file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <utility>

namespace kb::platform {
namespace {

constexpr std::array<std::pair<int, int>, 4> kFlagTable = {{
    {kCrtAppend, O_APPEND},
    {kCrtCreate, O_CREAT},
    {kCrtTruncate, O_TRUNC},
    {kCrtExclusive, O_EXCL},
}};
constexpr int kCrtAccessMask = 0x0003;
constexpr int kCrtIgnored = kCrtText | kCrtBinary;

std::optional<int> PosixOpenFlags(int crt_flags) {
  int posix = O_CLOEXEC;
  switch (crt_flags & kCrtAccessMask) {
    case kCrtReadOnly:
      posix |= O_RDONLY;
      break;
    case kCrtWriteOnly:
      posix |= O_WRONLY;
      break;
    case kCrtReadWrite:
      posix |= O_RDWR;
      break;
    default:
      return std::nullopt;
  }
  int known = kCrtAccessMask | kCrtIgnored;
  for (const auto& [crt, flag] : kFlagTable) {
    if (crt_flags & crt) posix |= flag;
    known |= crt;
  }
  if (crt_flags & ~known) return std::nullopt;
  return posix;
}

mode_t PosixMode(int crt_mode) {
  mode_t mode = 0;
  if (crt_mode & kCrtPermissionRead) mode |= S_IRUSR | S_IRGRP | S_IROTH;
  if (crt_mode & kCrtPermissionWrite) mode |= S_IWUSR | S_IWGRP | S_IWOTH;
  return mode;
}

std::optional<int> PosixWhence(int origin) {
  switch (origin) {
    case 0:
      return SEEK_SET;
    case 1:
      return SEEK_CUR;
    case 2:
      return SEEK_END;
    default:
      return std::nullopt;
  }
}

template <typename Result>
Result Failed(int& error, int value) {
  error = value;
  return static_cast<Result>(-1);
}

}  // namespace

int CrtOpen(const std::string& path, int flags, int mode, int& error) {
  const std::optional<int> posix = PosixOpenFlags(flags);
  if (!posix) return Failed<int>(error, EINVAL);
  int fd;
  do {
    fd = ::open(path.c_str(), *posix, PosixMode(mode));
  } while (fd < 0 && errno == EINTR);
  return fd < 0 ? Failed<int>(error, errno) : fd;
}

std::int64_t CrtRead(int fd, std::span<std::byte> buffer, int& error) {
  ssize_t n;
  do {
    n = ::read(fd, buffer.data(), buffer.size());
  } while (n < 0 && errno == EINTR);
  return n < 0 ? Failed<std::int64_t>(error, errno) : n;
}

std::int64_t CrtWrite(int fd, std::span<const std::byte> buffer, int& error) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = ::write(fd, buffer.data() + done, buffer.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Failed<std::int64_t>(error, n < 0 ? errno : ENOSPC);
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

int CrtClose(int fd, int& error) {
  return ::close(fd) == 0 ? 0 : Failed<int>(error, errno);
}

std::int64_t CrtSeek(int fd, std::int64_t distance, int origin, int& error) {
  const std::optional<int> whence = PosixWhence(origin);
  if (!whence) return Failed<std::int64_t>(error, EINVAL);
  const off_t position = ::lseek(fd, distance, *whence);
  return position < 0 ? Failed<std::int64_t>(error, errno) : position;
}

int CrtRemove(const std::string& path, int& error) {
  return std::remove(path.c_str()) == 0 ? 0 : Failed<int>(error, errno);
}

}  // namespace kb::platform

#include "platform/regular_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace kb::platform {
namespace {

// Keeps errno, so that a caller can still tell a missing file from the rest.
std::string SystemReason(int error) {
  std::string reason = std::generic_category().message(error);
  errno = error;
  return reason;
}

// The reads below should wait for the disk as usual; only the open must not wait for a writer.
bool MakeBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace

UniqueFd OpenRegularFile(const std::string& path, std::string* problem, int access) {
  UniqueFd fd;
  do {
    fd.Reset(::open(path.c_str(), access | O_NONBLOCK | O_CLOEXEC));
  } while (!fd.valid() && errno == EINTR);
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
    *problem = "cannot be opened (" + SystemReason(errno) + ")";
    return UniqueFd();
  }
  if (S_ISDIR(st.st_mode)) {
    *problem = "is a folder";
    errno = EISDIR;
    return UniqueFd();
  }
  if (!S_ISREG(st.st_mode)) {
    *problem = "is a pipe, socket or device, not a file";
    errno = ENODEV;
    return UniqueFd();
  }
  if (!MakeBlocking(fd.get())) {
    *problem = "cannot be opened (" + SystemReason(errno) + ")";
    return UniqueFd();
  }
  return fd;
}

std::optional<std::string> ReadRegularFile(const std::string& path, std::string* problem,
                                           std::size_t limit) {
  const UniqueFd fd = OpenRegularFile(path, problem);
  if (!fd.valid()) return std::nullopt;
  constexpr std::size_t kChunk = 64 * 1024;
  std::string bytes;
  while (bytes.size() < limit) {
    const std::size_t start = bytes.size();
    bytes.resize(start + std::min(kChunk, limit - start));
    const ssize_t got = ::read(fd.get(), bytes.data() + start, bytes.size() - start);
    if (got < 0 && errno == EINTR) {
      bytes.resize(start);
      continue;
    }
    if (got < 0) {
      *problem = "cannot be read (" + SystemReason(errno) + ")";
      return std::nullopt;
    }
    bytes.resize(start + static_cast<std::size_t>(got));
    if (got == 0) break;
  }
  return bytes;
}

}  // namespace kb::platform

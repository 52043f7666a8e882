#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/unique_fd.h"

namespace kb::platform {
namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The temporary file's permissions follow the file it replaces, or the umask for a new one.
void CopyMode(int fd, const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    ::fchmod(fd, st.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view contents) {
  std::string temp = path + ".XXXXXX";
  UniqueFd fd(::mkstemp(temp.data()));
  if (!fd.valid()) return false;
  CopyMode(fd.get(), path);
  const bool written = WriteAll(fd.get(), contents) && ::fsync(fd.get()) == 0;
  if (!fd.Reset() || !written || ::rename(temp.c_str(), path.c_str()) != 0) {
    const int cause = errno;
    ::unlink(temp.c_str());
    errno = cause;
    return false;
  }
  return true;
}

}  // namespace kb::platform

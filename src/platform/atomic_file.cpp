#include "platform/atomic_file.h"

#include <unistd.h>

#include <cerrno>

#include "platform/replacement_file.h"

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

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view contents) {
  ReplacementFile file(path);
  return file.valid() && WriteAll(file.fd(), contents) && file.Commit();
}

}  // namespace kb::platform

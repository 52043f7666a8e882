#include "platform/random_bytes.h"

#include <sys/random.h>

#include <cerrno>

namespace kb::platform {

bool FillRandomBytes(std::span<std::byte> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = getrandom(out.data() + done, out.size() - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace kb::platform

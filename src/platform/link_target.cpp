#include "platform/link_target.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

namespace kb::platform {
namespace {

// The system's own limit on links followed in one path lookup.
constexpr int kMaxLinks = 40;

std::optional<std::string> ReadLink(const std::string& path, std::size_t size) {
  std::vector<char> buffer(size + 1);
  const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
  if (n < 0) return std::nullopt;
  // A link that grew since lstat is read again with room for it.
  if (static_cast<std::size_t>(n) == buffer.size()) return ReadLink(path, 2 * buffer.size());
  return std::string(buffer.data(), static_cast<std::size_t>(n));
}

}  // namespace

std::optional<std::string> LinkTarget(const std::string& path) {
  std::string current = path;
  for (int links = 0; links <= kMaxLinks; ++links) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    const std::optional<std::string> target =
        ReadLink(current, static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX));
    if (!target) return std::nullopt;
    if (target->starts_with('/')) {
      current = *target;
    } else {
      const std::size_t slash = current.rfind('/');
      current =
          (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + *target;
    }
  }
  errno = ELOOP;
  return std::nullopt;
}

}  // namespace kb::platform

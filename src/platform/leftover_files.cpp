#include "platform/leftover_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <memory>
#include <optional>

#include "platform/unique_fd.h"

namespace kb::platform {
namespace {

// The process id that follows `prefix` in `name`, up to the dash; nullopt for other names.
std::optional<pid_t> OwnerOf(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return std::nullopt;
  name.remove_prefix(prefix.size());
  pid_t pid = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
  if (error != std::errc() || pid <= 0 || end == name.data() + name.size() || *end != '-') {
    return std::nullopt;
  }
  return pid;
}

bool IsGone(pid_t pid) {
  return pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Removes the regular file at `path` unless someone holds its lock. The lock taken here is
// held until the name is gone, so no process can take the file up meanwhile; and the name is
// removed only while it still names the file that was checked.
void RemoveUnlessInUse(const std::string& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return;
  struct stat opened {};
  struct stat named {};
  if (::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
      ::lstat(path.c_str(), &named) != 0 || named.st_ino != opened.st_ino ||
      named.st_dev != opened.st_dev) {
    return;
  }
  ::unlink(path.c_str());
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

std::string OwnerTag() {
  return std::to_string(::getpid()) + "-";
}

bool LockAsInUse(int fd) {
  return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

void RemoveLeftovers(const std::string& folder, std::string_view prefix) {
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.empty() ? "." : folder.c_str()));
  if (!dir) return;
  const std::string stem = folder.empty() || folder.ends_with('/') ? folder : folder + "/";
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::optional<pid_t> owner = OwnerOf(entry->d_name, prefix);
    if (owner && IsGone(*owner)) RemoveUnlessInUse(stem + entry->d_name);
  }
}

}  // namespace kb::platform

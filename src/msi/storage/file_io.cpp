#include "msi/storage/file_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kb::msi {

StorageError ReadAt(int fd, std::uint64_t offset, std::span<std::byte> out) {
  while (!out.empty()) {
    const ssize_t n = ::pread(fd, out.data(), out.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return StorageError::kIo;
    if (n == 0) return StorageError::kCorrupt;
    out = out.subspan(static_cast<std::size_t>(n));
    offset += static_cast<std::uint64_t>(n);
  }
  return StorageError::kNone;
}

StorageError WriteAt(int fd, std::uint64_t offset, std::span<const std::byte> data) {
  while (!data.empty()) {
    const ssize_t n = ::pwrite(fd, data.data(), data.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return StorageError::kIo;
    data = data.subspan(static_cast<std::size_t>(n));
    offset += static_cast<std::uint64_t>(n);
  }
  return StorageError::kNone;
}

StorageError FileSize(int fd, std::uint64_t* size) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return StorageError::kIo;
  *size = static_cast<std::uint64_t>(st.st_size);
  return StorageError::kNone;
}

std::optional<FileStamp> StampOf(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::nullopt;
  return FileStamp{static_cast<std::uint64_t>(st.st_size),
                   std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec};
}

}  // namespace kb::msi

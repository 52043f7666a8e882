#include "msi/stream_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/regular_file.h"

namespace kb::msi {

std::shared_ptr<const FileStreamSource> FileStreamSource::Open(const std::string& path) {
  std::string problem;
  platform::UniqueFd fd = platform::OpenRegularFile(path, &problem);
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0) return nullptr;
  return std::make_shared<const FileStreamSource>(path, std::move(fd),
                                                  static_cast<std::uint64_t>(info.st_size));
}

std::optional<std::size_t> FileStreamSource::Read(std::uint64_t offset,
                                                  std::span<std::byte> out) const {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t got =
        ::pread(fd_.get(), out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

std::optional<std::size_t> StoredStreamSource::Read(std::uint64_t offset,
                                                    std::span<std::byte> out) const {
  StorageError error = StorageError::kNone;
  return storage_->ReadStream(name_, offset, out, &error);
}

}  // namespace kb::msi

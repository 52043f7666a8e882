#include "msi/db/stream_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "msi/storage/file_io.h"
#include "platform/regular_file.h"
#include "platform/unnamed_file.h"

namespace kb::msi {

std::shared_ptr<const FileStreamSource> FileStreamSource::Open(const std::string& path) {
  std::string problem;
  platform::UniqueFd fd = platform::OpenRegularFile(path, &problem);
  const auto stamp = fd.valid() ? StampOf(fd.get()) : std::nullopt;
  if (!stamp) return nullptr;
  return std::make_shared<const FileStreamSource>(std::move(fd), *stamp);
}

platform::UniqueFd FileStreamSource::Duplicate() const {
  if (StampOf(fd_.get()) != stamp_) return platform::UniqueFd();
  return platform::UniqueFd(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
}

platform::UniqueFd CopyToTemporaryFile(const StreamSource& source) {
  platform::UniqueFd fd = platform::NewTemporaryFile();
  if (!fd.valid()) return fd;
  std::vector<std::byte> buffer(std::size_t{1} << 20);
  for (std::uint64_t offset = 0; offset < source.size();) {
    const auto got = source.Read(offset, buffer);
    if (!got || *got == 0 ||
        WriteAt(fd.get(), offset, std::span(buffer).first(*got)) != StorageError::kNone) {
      return platform::UniqueFd();
    }
    offset += *got;
  }
  return fd;
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

#include "msi/db/stream_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
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
  std::vector<StagedFilePart> parts;
  parts.push_back({std::move(fd), *stamp, stamp->size});
  return std::make_shared<const FileStreamSource>(std::move(parts));
}

std::shared_ptr<const FileStreamSource> FileStreamSource::Join(const std::string& path, int rest,
                                                               std::uint64_t rest_size) {
  const std::shared_ptr<const FileStreamSource> first = Open(path);
  std::optional<std::vector<StagedFilePart>> parts = first ? first->Duplicate() : std::nullopt;
  platform::UniqueFd copy(::fcntl(rest, F_DUPFD_CLOEXEC, 0));
  const auto stamp = copy.valid() ? StampOf(copy.get()) : std::nullopt;
  if (!parts || !stamp || stamp->size < rest_size) return nullptr;
  parts->push_back({std::move(copy), *stamp, rest_size});
  return std::make_shared<const FileStreamSource>(std::move(*parts));
}

std::uint64_t FileStreamSource::size() const {
  std::uint64_t size = 0;
  for (const StagedFilePart& part : parts_) size += part.size;
  return size;
}

std::optional<std::vector<StagedFilePart>> FileStreamSource::Duplicate() const {
  std::vector<StagedFilePart> copies;
  for (const StagedFilePart& part : parts_) {
    platform::UniqueFd copy(::fcntl(part.file.get(), F_DUPFD_CLOEXEC, 0));
    if (StampOf(part.file.get()) != part.stamp || !copy.valid()) return std::nullopt;
    copies.push_back({std::move(copy), part.stamp, part.size});
  }
  return copies;
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
  std::uint64_t part_start = 0;
  for (const StagedFilePart& part : parts_) {
    const std::uint64_t part_end = part_start + part.size;
    while (done < out.size() && offset + done < part_end) {
      const std::size_t want = static_cast<std::size_t>(
          std::min<std::uint64_t>(out.size() - done, part_end - offset - done));
      const ssize_t got = ::pread(part.file.get(), out.data() + done, want,
                                  static_cast<off_t>(offset + done - part_start));
      if (got < 0) return std::nullopt;
      if (got == 0) return done;
      done += static_cast<std::size_t>(got);
    }
    part_start = part_end;
  }
  return done;
}

std::optional<std::size_t> StoredStreamSource::Read(std::uint64_t offset,
                                                    std::span<std::byte> out) const {
  StorageError error = StorageError::kNone;
  return storage_->ReadStream(name_, offset, out, &error);
}

}  // namespace kb::msi

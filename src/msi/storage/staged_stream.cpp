#include "msi/storage/staged_stream.h"

#include <algorithm>

#include "msi/storage/file_io.h"

namespace kb::msi {

StagedStream StagedStream::FromBytes(std::vector<std::byte> data) {
  StagedStream staged;
  staged.removed_ = false;
  staged.size_ = data.size();
  staged.data_ = std::move(data);
  return staged;
}

StagedStream StagedStream::FromFile(platform::UniqueFd file, FileStamp stamp) {
  std::vector<StagedFilePart> parts;
  parts.push_back({std::move(file), stamp, stamp.size});
  return FromFiles(std::move(parts));
}

StagedStream StagedStream::FromFiles(std::vector<StagedFilePart> parts) {
  StagedStream staged;
  staged.removed_ = false;
  for (const StagedFilePart& part : parts) staged.size_ += part.size;
  staged.parts_ = std::move(parts);
  return staged;
}

StorageError StagedStream::Read(std::uint64_t offset, std::span<std::byte> out) const {
  if (parts_.empty()) {
    std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return StorageError::kNone;
  }
  std::uint64_t part_start = 0;
  for (const StagedFilePart& part : parts_) {
    if (out.empty()) break;
    if (offset < part_start + part.size) {
      const std::uint64_t at = offset - part_start;
      const std::size_t count =
          static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), part.size - at));
      if (StampOf(part.file.get()) != part.stamp ||
          ReadAt(part.file.get(), at, out.first(count)) != StorageError::kNone) {
        return StorageError::kIo;
      }
      out = out.subspan(count);
      offset += count;
    }
    part_start += part.size;
  }
  return StorageError::kNone;
}

}  // namespace kb::msi

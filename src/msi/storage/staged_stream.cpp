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
  StagedStream staged;
  staged.removed_ = false;
  staged.size_ = stamp.size;
  staged.file_ = std::move(file);
  staged.stamp_ = stamp;
  return staged;
}

StorageError StagedStream::Read(std::uint64_t offset, std::span<std::byte> out) const {
  if (!file_.valid()) {
    std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return StorageError::kNone;
  }
  if (StampOf(file_.get()) != stamp_) return StorageError::kIo;
  const StorageError e = ReadAt(file_.get(), offset, out);
  return e == StorageError::kNone ? e : StorageError::kIo;
}

}  // namespace kb::msi

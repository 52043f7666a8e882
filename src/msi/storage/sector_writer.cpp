#include "msi/storage/sector_writer.h"

#include "msi/storage/file_io.h"

namespace kb::msi {

StorageError SectorWriter::Put(std::uint32_t sector, std::span<const std::byte> data) {
  const std::size_t size = std::size_t{1} << shift_;
  const bool follows = !run_.empty() && sector == first_ + run_.size() / size;
  if (!follows || run_.size() >= kMaxRun) {
    if (StorageError e = Flush(); e != StorageError::kNone) return e;
    first_ = sector;
  }
  run_.insert(run_.end(), data.begin(), data.end());
  run_.resize(run_.size() + size - data.size(), std::byte{0});
  return StorageError::kNone;
}

StorageError SectorWriter::Flush() {
  if (run_.empty()) return StorageError::kNone;
  const StorageError e = WriteAt(fd_, (std::uint64_t{first_} + 1) << shift_, run_);
  run_.clear();
  return e;
}

}  // namespace kb::msi

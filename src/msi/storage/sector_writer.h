#ifndef KITBINDER_MSI_STORAGE_SECTOR_WRITER_H_
#define KITBINDER_MSI_STORAGE_SECTOR_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "msi/storage/compound_file.h"

namespace kb::msi {

// Writes whole sectors, gathering runs of neighbouring sectors into one write of up to 1 MB.
// Does not own the descriptor.
class SectorWriter {
 public:
  SectorWriter(int fd, std::uint16_t sector_shift) : fd_(fd), shift_(sector_shift) {}

  // Queues `data` as the contents of `sector`, padded with zeros to a whole sector.
  // REQUIRES: data.size() <= the sector size.
  StorageError Put(std::uint32_t sector, std::span<const std::byte> data);

  // Writes what is queued.
  StorageError Flush();

  std::uint16_t sector_shift() const { return shift_; }

 private:
  static constexpr std::size_t kMaxRun = 1 << 20;

  int fd_;
  std::uint16_t shift_;
  std::uint32_t first_ = 0;
  std::vector<std::byte> run_;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_STORAGE_SECTOR_WRITER_H_

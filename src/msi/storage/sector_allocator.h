#ifndef KITBINDER_MSI_STORAGE_SECTOR_ALLOCATOR_H_
#define KITBINDER_MSI_STORAGE_SECTOR_ALLOCATOR_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "msi/storage/layout.h"

namespace kb::msi {

// Hands out sectors for one commit and keeps the FAT of the state being built. A sector is
// handed out only when it is free both in that FAT and in the committed state, so nothing the
// committed state uses is overwritten before the new header is on disk: sectors released
// during the commit become reusable only at the next one. Lower sectors go first, which keeps
// the file compact. Records which FAT sectors' entries changed.
class SectorAllocator {
 public:
  // `next` is the layout being built, a copy of `committed`; both must outlive the allocator.
  SectorAllocator(const Layout& committed, Layout* next);

  // A sector for a structure whose FAT entry is `value` (kEndOfChain for the last sector of
  // a chain, kFatSector, kDifatSector). Extends the FAT when needed. nullopt when the file
  // would need more sectors than the format can number.
  [[nodiscard]] std::optional<std::uint32_t> Allocate(std::uint32_t value);

  void Set(std::uint32_t sector, std::uint32_t value);
  void Release(std::uint32_t sector) { Set(sector, cfb::kFreeSector); }

  // Whether FAT sector `index` (covering entries index * ids_per_sector onwards) changed.
  bool changed(std::size_t index) const { return index < changed_.size() && changed_[index]; }

 private:
  bool UsedByCommitted(std::uint32_t sector) const {
    return sector < committed_used_.size() && committed_used_[sector];
  }
  void Grow();

  Layout& next_;
  std::vector<bool> committed_used_;
  std::vector<bool> changed_;
  std::uint32_t range_lock_sector_;
  std::uint32_t hint_ = 0;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_STORAGE_SECTOR_ALLOCATOR_H_

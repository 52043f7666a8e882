#include "msi/storage/sector_allocator.h"

namespace kb::msi {

SectorAllocator::SectorAllocator(const Layout& committed, Layout* next)
    : next_(*next),
      committed_used_(committed.fat.size(), false),
      changed_(committed.fat_sectors.size(), false),
      range_lock_sector_(
          static_cast<std::uint32_t>((cfb::kRangeLockOffset >> committed.sector_shift) - 1)) {
  for (std::size_t s = 0; s < committed.fat.size(); ++s) {
    committed_used_[s] = committed.fat[s] != cfb::kFreeSector;
  }
  // Some writers leave the allocation tables' own sectors unmarked; they are in use all the same.
  for (const auto* list : {&committed.fat_sectors, &committed.difat_sectors}) {
    for (std::uint32_t s : *list) {
      if (s < committed_used_.size()) committed_used_[s] = true;
    }
  }
}

void SectorAllocator::Grow() {
  next_.fat.resize(next_.fat.size() + next_.ids_per_sector(), cfb::kFreeSector);
  changed_.resize(next_.fat.size() / next_.ids_per_sector(), false);
}

std::optional<std::uint32_t> SectorAllocator::Allocate(std::uint32_t value) {
  for (;; ++hint_) {
    if (hint_ > cfb::kMaxRegularSector) return std::nullopt;
    if (hint_ >= next_.fat.size()) Grow();
    if (next_.fat[hint_] != cfb::kFreeSector || UsedByCommitted(hint_)) continue;
    // The sector under Windows' lock range must stay out of use once the file reaches it.
    if (hint_ == range_lock_sector_) {
      Set(hint_, cfb::kEndOfChain);
      continue;
    }
    Set(hint_, value);
    return hint_++;
  }
}

void SectorAllocator::Set(std::uint32_t sector, std::uint32_t value) {
  while (sector >= next_.fat.size()) Grow();
  if (next_.fat[sector] == value) return;
  next_.fat[sector] = value;
  changed_[sector / next_.ids_per_sector()] = true;
}

}  // namespace kb::msi

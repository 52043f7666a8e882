#include "msi/storage/layout.h"

namespace kb::msi {

cfb::Header Layout::MakeHeader() const {
  cfb::Header h;
  h.major_version = major_version;
  h.sector_shift = sector_shift;
  h.directory_sector_count = static_cast<std::uint32_t>(directory_sectors.size());
  h.fat_sector_count = static_cast<std::uint32_t>(fat_sectors.size());
  h.first_directory_sector = directory_sectors.empty() ? cfb::kEndOfChain : directory_sectors[0];
  h.first_minifat_sector = minifat_sectors.empty() ? cfb::kEndOfChain : minifat_sectors[0];
  h.minifat_sector_count = static_cast<std::uint32_t>(minifat_sectors.size());
  h.first_difat_sector = difat_sectors.empty() ? cfb::kEndOfChain : difat_sectors[0];
  h.difat_sector_count = static_cast<std::uint32_t>(difat_sectors.size());
  for (std::size_t i = 0; i < cfb::kHeaderDifatEntries; ++i) {
    h.difat[i] = i < fat_sectors.size() ? fat_sectors[i] : cfb::kFreeSector;
  }
  return h;
}

}  // namespace kb::msi

#ifndef KITBINDER_MSI_STORAGE_LAYOUT_H_
#define KITBINDER_MSI_STORAGE_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "msi/storage/cfb_format.h"

namespace kb::msi {

// Where the structures of one state of a compound file lie: the allocation tables with the
// sectors that hold them, the raw directory with its sectors, and the mini stream's sectors.
// Stream contents stay on disk. A Layout is a plain value: a commit copies the committed one,
// changes the copy, and swaps it in once the header is on disk.
struct Layout {
  std::uint16_t major_version = 3;
  std::uint16_t sector_shift = 9;
  std::vector<std::uint32_t> fat;  // one entry per sector, a whole number of FAT sectors
  std::vector<std::uint32_t> fat_sectors;
  std::vector<std::uint32_t> difat_sectors;
  std::vector<std::uint32_t> minifat;
  std::vector<std::uint32_t> minifat_sectors;
  std::vector<std::uint32_t> ministream_sectors;
  std::vector<std::byte> directory;  // raw 128-byte entries
  std::vector<std::uint32_t> directory_sectors;

  std::uint32_t sector_size() const { return 1u << sector_shift; }
  std::uint32_t ids_per_sector() const { return sector_size() / 4; }
  std::uint64_t SectorOffset(std::uint32_t sector) const {
    return (static_cast<std::uint64_t>(sector) + 1) << sector_shift;
  }
  std::uint32_t entry_count() const {
    return static_cast<std::uint32_t>(directory.size() / cfb::kEntrySize);
  }
  std::span<const std::byte, cfb::kEntrySize> RawEntry(std::uint32_t id) const {
    return std::span<const std::byte, cfb::kEntrySize>(directory.data() + id * cfb::kEntrySize,
                                                       cfb::kEntrySize);
  }
  std::span<std::byte, cfb::kEntrySize> RawEntry(std::uint32_t id) {
    return std::span<std::byte, cfb::kEntrySize>(directory.data() + id * cfb::kEntrySize,
                                                 cfb::kEntrySize);
  }
  // REQUIRES: id < entry_count() and the entry was validated when loaded or stored since.
  cfb::DirectoryEntry Entry(std::uint32_t id) const {
    return *cfb::ParseEntry(RawEntry(id), major_version);
  }
  void SetEntry(std::uint32_t id, const cfb::DirectoryEntry& entry) {
    cfb::StoreEntry(entry, RawEntry(id));
  }
  // The header that points at this layout.
  cfb::Header MakeHeader() const;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_STORAGE_LAYOUT_H_

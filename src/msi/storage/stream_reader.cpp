#include "msi/storage/stream_reader.h"

#include <algorithm>

#include "msi/storage/file_io.h"

namespace kb::msi {

std::optional<std::uint64_t> StreamReader::FileOffset(bool mini, std::uint32_t sector,
                                                      std::uint32_t inner) const {
  if (!mini) return layout_->SectorOffset(sector) + inner;
  const std::uint64_t position = std::uint64_t{sector} * cfb::kMiniSectorSize + inner;
  const std::uint64_t index = position >> layout_->sector_shift;
  if (index >= layout_->ministream_sectors.size()) return std::nullopt;
  return layout_->SectorOffset(layout_->ministream_sectors[index]) +
         (position & (layout_->sector_size() - 1));
}

std::optional<std::uint32_t> StreamReader::Next(bool mini, std::uint32_t sector) const {
  const auto& table = mini ? layout_->minifat : layout_->fat;
  if (sector >= table.size()) return std::nullopt;
  return table[sector];
}

std::optional<std::uint32_t> StreamReader::Seek(std::uint32_t id, bool mini, std::uint32_t start,
                                                std::uint64_t index) {
  Cursor cursor{0, start};
  if (auto it = cursors_.find(id); it != cursors_.end() && it->second.index <= index) {
    cursor = it->second;
  }
  while (cursor.index < index) {
    const auto next = Next(mini, cursor.sector);
    if (!next) return std::nullopt;
    cursor = {cursor.index + 1, *next};
  }
  cursors_[id] = cursor;
  return cursor.sector;
}

StorageError StreamReader::Read(std::uint32_t id, const cfb::DirectoryEntry& entry,
                                std::uint64_t offset, std::span<std::byte> out) {
  const bool mini = entry.size < cfb::kMiniStreamCutoff;
  const std::uint32_t unit = mini ? cfb::kMiniSectorSize : layout_->sector_size();
  std::uint64_t index = offset / unit;
  auto inner = static_cast<std::uint32_t>(offset % unit);
  std::optional<std::uint32_t> sector;
  // Neighbouring pieces are gathered into one read.
  std::uint64_t run_offset = 0;
  std::size_t run_start = 0;
  std::size_t done = 0;
  while (done < out.size()) {
    sector = done == 0 ? Seek(id, mini, entry.start_sector, index) : Next(mini, *sector);
    const auto at = sector ? FileOffset(mini, *sector, inner) : std::nullopt;
    if (!at) return StorageError::kCorrupt;
    const std::size_t piece = std::min<std::size_t>(unit - inner, out.size() - done);
    if (done > 0 && *at != run_offset + (done - run_start)) {
      if (StorageError e = ReadAt(fd_, run_offset, out.subspan(run_start, done - run_start));
          e != StorageError::kNone) {
        return e;
      }
      run_start = done;
    }
    if (done == run_start) run_offset = *at;
    done += piece;
    inner = 0;
    ++index;
  }
  if (sector) cursors_[id] = {index - 1, *sector};
  return done == run_start ? StorageError::kNone
                           : ReadAt(fd_, run_offset, out.subspan(run_start, done - run_start));
}

}  // namespace kb::msi

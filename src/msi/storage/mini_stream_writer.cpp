#include "msi/storage/mini_stream_writer.h"

#include <algorithm>

#include "msi/storage/chain_writer.h"
#include "msi/storage/file_io.h"

namespace kb::msi {

MiniStreamWriter::MiniStreamWriter(int fd, std::uint64_t mini_stream_size, Layout* next,
                                   SectorAllocator* allocator, SectorWriter* writer)
    : fd_(fd),
      mini_sector_count_((mini_stream_size + cfb::kMiniSectorSize - 1) / cfb::kMiniSectorSize),
      next_(*next),
      allocator_(*allocator),
      writer_(*writer) {
  // Entries past the end of the mini stream belong to nothing; a writer may have left garbage.
  for (std::size_t i = mini_sector_count_; i < next_.minifat.size(); ++i) {
    next_.minifat[i] = cfb::kFreeSector;
  }
}

void MiniStreamWriter::Release(std::uint32_t start, std::uint64_t size) {
  std::uint32_t sector = start;
  for (std::uint64_t done = 0; done < size; done += cfb::kMiniSectorSize) {
    const std::uint32_t next = next_.minifat[sector];
    next_.minifat[sector] = cfb::kFreeSector;
    hint_ = std::min(hint_, sector);
    sector = next;
  }
}

std::uint32_t MiniStreamWriter::AllocateMiniSector() {
  while (hint_ < next_.minifat.size() && next_.minifat[hint_] != cfb::kFreeSector) ++hint_;
  if (hint_ == next_.minifat.size()) {
    next_.minifat.resize(next_.minifat.size() + next_.ids_per_sector(), cfb::kFreeSector);
  }
  next_.minifat[hint_] = cfb::kEndOfChain;
  mini_sector_count_ = std::max<std::uint64_t>(mini_sector_count_, hint_ + 1);
  return hint_++;
}

StorageError MiniStreamWriter::Page(std::size_t index, std::vector<std::byte>** page) {
  auto [it, added] = pages_.try_emplace(index);
  *page = &it->second;
  if (!added) return StorageError::kNone;
  it->second.assign(next_.sector_size(), std::byte{0});
  if (index >= next_.ministream_sectors.size()) return StorageError::kNone;
  return ReadAt(fd_, next_.SectorOffset(next_.ministream_sectors[index]), it->second);
}

StorageError MiniStreamWriter::Write(const ByteSource& data, std::uint32_t* start) {
  std::uint32_t previous = cfb::kEndOfChain;
  for (std::uint64_t offset = 0; offset < data.size(); offset += cfb::kMiniSectorSize) {
    const std::uint32_t sector = AllocateMiniSector();
    if (previous == cfb::kEndOfChain) {
      *start = sector;
    } else {
      next_.minifat[previous] = sector;
    }
    previous = sector;
    const std::uint64_t position = std::uint64_t{sector} * cfb::kMiniSectorSize;
    std::vector<std::byte>* page = nullptr;
    if (StorageError e = Page(position >> next_.sector_shift, &page); e != StorageError::kNone) {
      return e;
    }
    const std::size_t length = std::min<std::uint64_t>(cfb::kMiniSectorSize, data.size() - offset);
    const std::size_t inner = position & (next_.sector_size() - 1);
    std::fill_n(page->begin() + inner, cfb::kMiniSectorSize, std::byte{0});
    if (StorageError e = data.Read(offset, std::span(*page).subspan(inner, length));
        e != StorageError::kNone) {
      return e;
    }
  }
  return StorageError::kNone;
}

StorageError MiniStreamWriter::Flush(std::uint64_t* mini_stream_size) {
  auto& chain = next_.ministream_sectors;
  for (const auto& [index, page] : pages_) {
    if (StorageError e = PlaceSector(&chain, index, page, &allocator_, &writer_);
        e != StorageError::kNone) {
      return e;
    }
  }
  LinkChain(chain, &allocator_);
  *mini_stream_size = mini_sector_count_ * cfb::kMiniSectorSize;
  return StorageError::kNone;
}

}  // namespace kb::msi

#include "msi/storage/chain_writer.h"

#include <algorithm>

namespace kb::msi {

StorageError PlaceSector(std::vector<std::uint32_t>* chain, std::size_t index,
                         std::span<const std::byte> data, SectorAllocator* allocator,
                         SectorWriter* writer) {
  const auto sector = allocator->Allocate(cfb::kEndOfChain);
  if (!sector) return StorageError::kTooLarge;
  if (index < chain->size()) {
    allocator->Release((*chain)[index]);
    (*chain)[index] = *sector;
  } else {
    chain->push_back(*sector);
  }
  return writer->Put(*sector, data);
}

StorageError RewriteChanged(std::span<const std::byte> old_bytes,
                            std::span<const std::byte> new_bytes, std::vector<std::uint32_t>* chain,
                            SectorAllocator* allocator, SectorWriter* writer) {
  const std::size_t size = std::size_t{1} << writer->sector_shift();
  const std::size_t count = new_bytes.size() / size;
  for (std::size_t i = 0; i < count; ++i) {
    const auto piece = new_bytes.subspan(i * size, size);
    const bool kept = i < chain->size() && (i + 1) * size <= old_bytes.size() &&
                      std::equal(piece.begin(), piece.end(), old_bytes.begin() + i * size);
    if (kept) continue;
    if (StorageError e = PlaceSector(chain, i, piece, allocator, writer);
        e != StorageError::kNone) {
      return e;
    }
  }
  while (chain->size() > count) {
    allocator->Release(chain->back());
    chain->pop_back();
  }
  return StorageError::kNone;
}

void LinkChain(const std::vector<std::uint32_t>& chain, SectorAllocator* allocator) {
  for (std::size_t i = 0; i < chain.size(); ++i) {
    allocator->Set(chain[i], i + 1 < chain.size() ? chain[i + 1] : cfb::kEndOfChain);
  }
}

}  // namespace kb::msi

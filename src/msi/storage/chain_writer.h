#ifndef KITBINDER_MSI_STORAGE_CHAIN_WRITER_H_
#define KITBINDER_MSI_STORAGE_CHAIN_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "msi/storage/compound_file.h"
#include "msi/storage/sector_allocator.h"
#include "msi/storage/sector_writer.h"

namespace kb::msi {

// Copy-on-write placement of one sector of a chain: `data` goes to a fresh sector, which
// takes position `index` of `chain`; the sector it replaces is released. kTooLarge when no
// sector can be numbered.
// REQUIRES: index <= chain->size().
StorageError PlaceSector(std::vector<std::uint32_t>* chain, std::size_t index,
                         std::span<const std::byte> data, SectorAllocator* allocator,
                         SectorWriter* writer);

// Rewrites the chain of a structure held whole in memory (directory, mini FAT): sectors whose
// bytes equal `old_bytes` stay where they are, the others are placed anew, and sectors past
// the new end are released.
StorageError RewriteChanged(std::span<const std::byte> old_bytes,
                            std::span<const std::byte> new_bytes, std::vector<std::uint32_t>* chain,
                            SectorAllocator* allocator, SectorWriter* writer);

// Makes the FAT link the sectors of `chain` in order, ending with kEndOfChain.
void LinkChain(const std::vector<std::uint32_t>& chain, SectorAllocator* allocator);

}  // namespace kb::msi

#endif  // KITBINDER_MSI_STORAGE_CHAIN_WRITER_H_

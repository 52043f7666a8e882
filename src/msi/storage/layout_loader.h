#ifndef KITBINDER_MSI_STORAGE_LAYOUT_LOADER_H_
#define KITBINDER_MSI_STORAGE_LAYOUT_LOADER_H_

#include <cstdint>
#include <vector>

#include "msi/storage/compound_file.h"
#include "msi/storage/layout.h"

namespace kb::msi {

// Reads the structures of the compound file open on `fd` into *layout and checks them all
// before anything trusts them: every sector number lies inside the file, no sector belongs to
// two chains, no chain loops, every chain is as long as its size says, and the directory tree
// has no cycle and holds only storages and streams. Sizes come from the file, so a hostile
// file cannot make us allocate more than its own size (the directory is capped further).
// Returns kCorrupt for a damaged file, kTooLarge for an absurd directory, kIo for a failed
// read.
StorageError LoadLayout(int fd, Layout* layout);

}  // namespace kb::msi

#endif  // KITBINDER_MSI_STORAGE_LAYOUT_LOADER_H_

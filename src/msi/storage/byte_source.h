#ifndef KITBINDER_MSI_STORAGE_BYTE_SOURCE_H_
#define KITBINDER_MSI_STORAGE_BYTE_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <span>

#include "msi/storage/compound_file.h"

namespace kb::msi {

// The bytes a commit writes as one stream: a staged stream's new contents, or a stream of
// another compound file being copied into a sub-storage.
class ByteSource {
 public:
  virtual ~ByteSource() = default;

  virtual std::uint64_t size() const = 0;
  // Reads out.size() bytes at `offset`. REQUIRES: offset + out.size() <= size().
  virtual StorageError Read(std::uint64_t offset, std::span<std::byte> out) const = 0;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_STORAGE_BYTE_SOURCE_H_

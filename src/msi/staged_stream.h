#ifndef KITBINDER_MSI_STAGED_STREAM_H_
#define KITBINDER_MSI_STAGED_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "msi/compound_file.h"
#include "platform/unique_fd.h"

namespace kb::msi {

// A change to one stream waiting for the next commit: its removal, or its new contents, held
// in memory or read from a file (whose descriptor it owns) when they are needed.
class StagedStream {
 public:
  static StagedStream Removal() { return StagedStream(); }
  static StagedStream FromBytes(std::vector<std::byte> data);
  // REQUIRES: `file` is open for reading and holds at least `size` bytes.
  static StagedStream FromFile(platform::UniqueFd file, std::uint64_t size);

  bool removed() const { return removed_; }
  std::uint64_t size() const { return size_; }

  // Reads out.size() bytes at `offset`. REQUIRES: offset + out.size() <= size().
  // kIo when the file cannot be read or has shrunk since it was staged.
  StorageError Read(std::uint64_t offset, std::span<std::byte> out) const;

 private:
  StagedStream() = default;

  bool removed_ = true;
  std::uint64_t size_ = 0;
  std::vector<std::byte> data_;
  platform::UniqueFd file_;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_STAGED_STREAM_H_

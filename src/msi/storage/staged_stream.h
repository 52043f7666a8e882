#ifndef KITBINDER_MSI_STORAGE_STAGED_STREAM_H_
#define KITBINDER_MSI_STORAGE_STAGED_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "msi/storage/byte_source.h"
#include "msi/storage/compound_file.h"
#include "platform/unique_fd.h"

namespace kb::msi {

// The first `size` bytes of an open file (a descriptor its holder owns), as they were when
// `stamp` was taken.
struct StagedFilePart {
  platform::UniqueFd file;
  FileStamp stamp;
  std::uint64_t size = 0;
};

// A change to one stream waiting for the next commit: its removal, or its new contents, held
// in memory or read from files (whose descriptors it owns) when they are needed.
class StagedStream : public ByteSource {
 public:
  static StagedStream Removal() { return StagedStream(); }
  static StagedStream FromBytes(std::vector<std::byte> data);
  // REQUIRES: `file` is open for reading; `stamp` is what it was when its bytes were chosen.
  static StagedStream FromFile(platform::UniqueFd file, FileStamp stamp);
  // The parts' bytes one after the other. REQUIRES: every part's file is open for reading.
  static StagedStream FromFiles(std::vector<StagedFilePart> parts);

  bool removed() const { return removed_; }
  std::uint64_t size() const override { return size_; }

  // Reads out.size() bytes at `offset`. REQUIRES: offset + out.size() <= size().
  // kIo when a file cannot be read or was written to since it was staged (its size or
  // modification time changed), so that no other bytes than the staged ones are stored.
  StorageError Read(std::uint64_t offset, std::span<std::byte> out) const override;

 private:
  StagedStream() = default;

  bool removed_ = true;
  std::uint64_t size_ = 0;
  std::vector<std::byte> data_;
  std::vector<StagedFilePart> parts_;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_STORAGE_STAGED_STREAM_H_

#ifndef KITBINDER_MSI_STORAGE_STREAM_READER_H_
#define KITBINDER_MSI_STORAGE_STREAM_READER_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <unordered_map>

#include "msi/storage/cfb_format.h"
#include "msi/storage/compound_file.h"
#include "msi/storage/layout.h"

namespace kb::msi {

// Reads committed streams from the file, following their chains through the FAT or, for
// streams under the cutoff, the mini FAT and the mini stream. Remembers where the last read
// of each stream ended, so reading a large stream front to back costs one pass over its chain.
// Does not own the descriptor or the layout, which must outlive it.
class StreamReader {
 public:
  StreamReader(int fd, const Layout* layout) : fd_(fd), layout_(layout) {}

  // Reads out.size() bytes at `offset` of the stream in entry `id`.
  // REQUIRES: offset + out.size() <= entry.size; entry is entry `id` of the layout.
  StorageError Read(std::uint32_t id, const cfb::DirectoryEntry& entry, std::uint64_t offset,
                    std::span<std::byte> out);

  // Forgets the remembered positions; needed whenever the layout changes.
  void Reset() { cursors_.clear(); }

 private:
  struct Cursor {
    std::uint64_t index = 0;  // position in the chain
    std::uint32_t sector = 0;
  };

  // The file offset of byte `inner` of sector (or mini sector) `sector`; nullopt when the
  // number lies outside the file's structures.
  [[nodiscard]] std::optional<std::uint64_t> FileOffset(bool mini, std::uint32_t sector,
                                                        std::uint32_t inner) const;
  [[nodiscard]] std::optional<std::uint32_t> Next(bool mini, std::uint32_t sector) const;
  // The sector at position `index` of the chain, starting from the remembered cursor when it
  // lies before.
  [[nodiscard]] std::optional<std::uint32_t> Seek(std::uint32_t id, bool mini, std::uint32_t start,
                                                  std::uint64_t index);

  int fd_;
  const Layout* layout_;
  std::unordered_map<std::uint32_t, Cursor> cursors_;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_STORAGE_STREAM_READER_H_

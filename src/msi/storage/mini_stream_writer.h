#ifndef KITBINDER_MSI_STORAGE_MINI_STREAM_WRITER_H_
#define KITBINDER_MSI_STORAGE_MINI_STREAM_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "msi/storage/byte_source.h"
#include "msi/storage/compound_file.h"
#include "msi/storage/layout.h"
#include "msi/storage/sector_allocator.h"
#include "msi/storage/sector_writer.h"

namespace kb::msi {

// Places streams under the cutoff in the mini stream for one commit. Mini sectors freed by
// this commit are reused at once: every sector of the mini stream that changes is written to
// a fresh place at Flush, so the committed mini stream stays intact whatever is reused.
// Only the changed sectors of the mini stream are held in memory.
class MiniStreamWriter {
 public:
  // `mini_stream_size` is the committed size (the root entry's). All pointers must outlive
  // the writer; `next` is the layout being built.
  MiniStreamWriter(int fd, std::uint64_t mini_stream_size, Layout* next, SectorAllocator* allocator,
                   SectorWriter* writer);

  // Frees the mini sectors of a stream of `size` bytes starting at `start`.
  void Release(std::uint32_t start, std::uint64_t size);

  // Copies `data` into fresh mini sectors and sets *start to the first.
  // REQUIRES: 0 < data.size() < the cutoff.
  StorageError Write(const ByteSource& data, std::uint32_t* start);

  // Places the changed sectors of the mini stream and links its chain. Returns the new size
  // of the mini stream.
  StorageError Flush(std::uint64_t* mini_stream_size);

 private:
  std::uint32_t AllocateMiniSector();
  // The changed copy of mini stream sector `index`, read from the file on first use.
  StorageError Page(std::size_t index, std::vector<std::byte>** page);

  int fd_;
  std::uint64_t mini_sector_count_;
  std::uint32_t hint_ = 0;
  Layout& next_;
  SectorAllocator& allocator_;
  SectorWriter& writer_;
  std::map<std::size_t, std::vector<std::byte>> pages_;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_STORAGE_MINI_STREAM_WRITER_H_

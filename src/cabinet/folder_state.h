#ifndef KITBINDER_CABINET_FOLDER_STATE_H_
#define KITBINDER_CABINET_FOLDER_STATE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "cabinet/cabinet_format.h"
#include "cabinet/cabinet_writer.h"
#include "cabinet/client_services.h"
#include "cabinet/mszip_compressor.h"
#include "cabinet/temp_file.h"

namespace kb::cabinet {

// The open folder: one continuous stream of its files' bytes, cut into 32,768-byte blocks,
// compressed and staged in the folder-data temporary (block headers with csum 0, then the
// data), and the file records staged in the folder-files temporary. Because a block is only
// cut when full, one block can hold the end of one file and the start of the next.
class FolderState {
 public:
  static constexpr std::uint16_t kNoType = 15;  // before the first file of a context

  // REQUIRES: *services outlives this object.
  FolderState(ClientServices* services, std::size_t data_reserve);

  // Makes both staging temporaries (kTempFile on failure, none left behind).
  bool CreateTemporaries();

  // True when `type` names a compression this writer makes (stored or MSZIP).
  static bool IsKnownType(std::uint16_t type);

  // Drops the current compressor and buffers and makes those of `type`.
  // REQUIRES: IsKnownType(type) and the folder is empty. Fails with kAllocFail or
  // kCompressorFail.
  bool SwitchType(std::uint16_t type);

  // Reads the source through the client until the end, staging every full block. Returns the
  // file's size, or nullopt after reporting kReadFile (also when the folder would pass
  // kMaxFolderBytes), kCompressorFail, kTempFile or kUserAbort.
  std::optional<std::uint32_t> ReadFile(int source, StatusCallback status);

  // Stages a file record with `name` (up to its first NUL) and its NUL.
  bool AppendFileRecord(const FileRecord& record, std::string_view name);

  // Stages the partly filled block, forgets the compression history and starts the next
  // folder's stream at offset 0.
  bool CloseCompression(StatusCallback status);

  // Replaces the (consumed) staging temporaries by those holding the rest of a split folder.
  bool ReplaceTemporaries(TempFile data, TempFile files);

  // Destroys the compressor and both temporaries; false when a temporary failed to go.
  bool Destroy();

  std::uint16_t type() const { return type_; }
  std::uint64_t uncompressed_size() const { return uncompressed_; }
  std::size_t data_header_size() const { return data_header_size_; }
  bool empty() const { return data_.empty() && files_.empty(); }
  TempFile& data() { return data_; }
  TempFile& files() { return files_; }
  const TempFile& data() const { return data_; }
  const TempFile& files() const { return files_; }
  // Room for reading one staged block back; the largest block this type stages.
  std::span<std::byte> block_buffer() const { return output_.span(); }

 private:
  bool StageBlock(StatusCallback status);
  std::optional<std::uint16_t> CompressBlock(std::span<const std::byte> block);

  ClientServices* services_;
  TempFile data_;
  TempFile files_;
  std::uint16_t type_ = kNoType;
  std::unique_ptr<MszipCompressor> compressor_;
  ClientBuffer input_;
  ClientBuffer output_;
  std::size_t input_used_ = 0;
  std::uint64_t uncompressed_ = 0;
  std::size_t data_header_size_;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_FOLDER_STATE_H_

#ifndef KITBINDER_CABINET_WRITER_FOLDER_STATE_H_
#define KITBINDER_CABINET_WRITER_FOLDER_STATE_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cabinet/writer/block_pipeline.h"
#include "cabinet/writer/cabinet_format.h"
#include "cabinet/writer/cabinet_writer.h"
#include "cabinet/writer/client_services.h"
#include "cabinet/writer/temp_file.h"

namespace kb::cabinet {

// The open folder: one continuous stream of its files' bytes, cut into 32,768-byte blocks,
// compressed and staged at the end of the cabinet's data staging (block headers with their
// csum, then the data: most blocks lie there as the cabinet will hold them), and the file
// records staged in the folder-files temporary. Because a block is only cut when full, one
// block can hold the end of one file and the start of the next. The carry temporary takes what
// of the folder goes on in the next cabinet, and becomes that cabinet's data staging.
//
// MSZIP blocks are compressed by a BlockPipeline while reading goes on, and staged in order
// as they come back. A file's record waits until the blocks read before it are staged, so both
// temporaries are written in the very order, and with the very bytes, of reading and
// compressing in step. Blocks read but not yet staged are counted by data_size_bound;
// FinishBlocks stages them and the records waiting behind them.
class FolderState {
 public:
  static constexpr std::uint16_t kNoType = 15;  // before the first file of a context

  // `workers` threads compress MSZIP blocks at `level`; 1 compresses them on the calling
  // thread.
  // REQUIRES: *services and *data_staging outlive this object; the folder's blocks are the last
  // data_size() bytes of *data_staging; workers >= 1.
  FolderState(ClientServices* services, TempFile* data_staging, std::size_t data_reserve,
              std::size_t workers, MszipLevel level);

  // Makes the carry and folder-files temporaries (kTempFile on failure, none left behind).
  [[nodiscard]] bool CreateTemporaries();

  // Makes a new carry after the last one has gone to the cabinet (kTempFile on failure).
  [[nodiscard]] bool RenewCarry();

  // True when `type` names a compression this writer makes (stored or MSZIP).
  static bool IsKnownType(std::uint16_t type);

  // Drops the current pipeline (joining its workers) and buffers and makes those of `type`.
  // REQUIRES: IsKnownType(type) and the folder is empty. Fails with kAllocFail or
  // kCompressorFail.
  [[nodiscard]] bool SwitchType(std::uint16_t type);

  // Reads the source through the client until the end, handing every full block over for
  // compression and staging those that are done. Returns the file's size, or nullopt after
  // reporting kReadFile (also when the folder would pass kMaxFolderBytes), kCompressorFail,
  // kTempFile or kUserAbort.
  [[nodiscard]] std::optional<std::uint32_t> ReadFile(int source, StatusCallback status);

  // Waits for every block handed over and stages them in order. A block that fails is
  // reported (kCompressorFail, kTempFile, kUserAbort) and the blocks after it are dropped.
  // Reading runs ahead of staging, so after a failure of the reading side the blocks read
  // before it are still to be staged: staging them then, and letting a failure among them
  // be the one reported, gives what reading and staging in step would have given.
  [[nodiscard]] bool FinishBlocks(StatusCallback status);

  // Stages a file record with `name` (up to its first NUL) and its NUL once the blocks read
  // so far are staged: at once when none is in flight.
  // Fails like FinishBlocks, or with kTempFile or kAllocFail.
  [[nodiscard]] bool AppendFileRecord(const FileRecord& record, std::string_view name,
                                      StatusCallback status);

  // Stages the partly filled block, forgets the compression history and starts the next
  // folder's stream at offset 0.
  [[nodiscard]] bool CloseCompression(StatusCallback status);

  // After the folder was placed: replaces the (consumed) folder-files temporary by `files`,
  // holding the `records` file records of what the carry holds of the folder (nothing when the
  // folder was placed whole).
  [[nodiscard]] bool ReplaceTemporaries(TempFile files, std::uint64_t records);

  // Destroys the compressor and both temporaries; false when a temporary failed to go.
  [[nodiscard]] bool Destroy();

  std::uint16_t type() const { return type_; }
  std::uint64_t uncompressed_size() const { return uncompressed_; }
  // The bytes of the folder's staged blocks.
  std::uint64_t data_size() const { return data_size_; }
  // data_size() once every block handed over is staged, at most.
  std::uint64_t data_size_bound() const;
  // The folder-files temporary's size once the records waiting for their blocks are staged.
  std::uint64_t files_size() const { return files_.size() + waiting_record_bytes_; }
  std::size_t data_header_size() const { return data_header_size_; }
  // The file records of the folder, staged or waiting for their blocks.
  std::uint64_t record_count() const { return records_; }
  bool empty() const { return data_size_ == 0 && files_.empty(); }
  TempFile& carry() { return carry_; }
  TempFile& files() { return files_; }
  const TempFile& files() const { return files_; }
  // Room for reading one staged block back; the largest block this type stages.
  std::span<std::byte> block_buffer() const { return block_buffer_.span(); }

 private:
  [[nodiscard]] bool SubmitBlock(StatusCallback status);
  [[nodiscard]] bool StageFinished(bool wait_for_all, StatusCallback status);
  [[nodiscard]] bool StageBlock(const BlockPipeline::Finished& block, StatusCallback status);
  [[nodiscard]] bool StageWaitingRecords();

  // A file record, name and NUL, staged once `blocks_before` blocks are.
  struct WaitingRecord {
    std::uint64_t blocks_before = 0;
    std::string bytes;
  };
  // Records of small files may wait behind a block in flight; past this many, the blocks
  // are finished first, so that memory stays bounded.
  static constexpr std::size_t kMaxWaitingRecords = 1024;

  ClientServices* services_;
  TempFile* data_staging_;
  std::uint64_t data_size_ = 0;
  TempFile carry_;
  TempFile files_;
  std::uint16_t type_ = kNoType;
  std::size_t workers_;
  MszipLevel level_;
  std::optional<BlockPipeline> pipeline_;  // from the first SwitchType on
  ClientBuffer block_buffer_;
  std::size_t input_used_ = 0;  // bytes read into the pipeline's next block
  std::deque<WaitingRecord> waiting_records_;
  std::uint64_t waiting_record_bytes_ = 0;
  std::uint64_t uncompressed_ = 0;
  std::uint64_t records_ = 0;
  std::size_t data_header_size_;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_WRITER_FOLDER_STATE_H_

#include "cabinet/writer/folder_state.h"

#include <array>
#include <cerrno>
#include <new>
#include <utility>

namespace kb::cabinet {
namespace {

constexpr std::uint16_t kTypeMask = 0x000F;

// Larger than any data block header: 8 bytes and at most 255 reserved.
using DataHeaderBuffer = std::array<std::byte, kDataHeaderSize + kMaxRecordReserve>;

}  // namespace

FolderState::FolderState(ClientServices* services, TempFile* data_staging, std::size_t data_reserve,
                         std::size_t workers, MszipLevel level)
    : services_(services),
      data_staging_(data_staging),
      carry_(services),
      files_(services),
      workers_(workers),
      level_(level),
      data_header_size_(kDataHeaderSize + data_reserve) {}

bool FolderState::CreateTemporaries() {
  TempFile carry(services_);
  TempFile files(services_);
  if (!carry.Create() || !files.Create()) return false;
  carry_ = std::move(carry);
  files_ = std::move(files);
  return true;
}

bool FolderState::RenewCarry() {
  TempFile carry(services_);
  if (!carry.Create()) return false;
  carry_ = std::move(carry);
  return true;
}

bool FolderState::IsKnownType(std::uint16_t type) {
  const std::uint16_t low = type & kTypeMask;
  return low == kCompressNone || low == kCompressMszip || type == kCompressLzx;
}

bool FolderState::SwitchType(std::uint16_t type) {
  pipeline_.reset();
  block_buffer_ = ClientBuffer();
  type_ = kNoType;  // until the new type's pipeline stands, so that another file tries again
  try {
    pipeline_.emplace(services_);
    const BlockCoding coding = type == kCompressLzx                   ? BlockCoding::kLzx
                               : (type & kTypeMask) == kCompressMszip ? BlockCoding::kMszip
                                                                      : BlockCoding::kStored;
    if (!pipeline_->Start(coding, level_, workers_)) {
      pipeline_.reset();
      return false;
    }
  } catch (const std::bad_alloc&) {
    pipeline_.reset();  // no worker runs yet: Start starts them last
    return services_->Fail(FciError::kAllocFail);
  }
  block_buffer_ = services_->Allocate(pipeline_->max_coded_size());
  if (!block_buffer_) return services_->Fail(FciError::kAllocFail);
  type_ = type;
  return true;
}

std::optional<std::uint32_t> FolderState::ReadFile(int source, StatusCallback status) {
  std::uint64_t size = 0;
  for (;;) {
    int err = 0;
    const std::span<std::byte> free_part = pipeline_->next_input().subspan(input_used_);
    const std::int32_t n = services_->Read(source, free_part, err);
    if (n == 0) break;
    if (n < 0 || static_cast<std::size_t>(n) > free_part.size()) {
      services_->Fail(FciError::kReadFile, err);
      return std::nullopt;
    }
    if (uncompressed_ + static_cast<std::uint64_t>(n) > kMaxFolderBytes) {
      services_->Fail(FciError::kReadFile, EFBIG);
      return std::nullopt;
    }
    input_used_ += static_cast<std::size_t>(n);
    uncompressed_ += static_cast<std::uint64_t>(n);
    size += static_cast<std::uint64_t>(n);
    if (input_used_ == kBlockSize && !SubmitBlock(status)) return std::nullopt;
  }
  return static_cast<std::uint32_t>(size);
}

std::uint64_t FolderState::data_size_bound() const {
  if (!pipeline_) return data_size_;
  return data_size_ + pipeline_->in_flight() * (data_header_size_ + pipeline_->max_coded_size());
}

bool FolderState::SubmitBlock(StatusCallback status) {
  pipeline_->Submit(input_used_);
  input_used_ = 0;
  return StageFinished(false, status);
}

bool FolderState::FinishBlocks(StatusCallback status) {
  return (!pipeline_ || StageFinished(true, status)) && StageWaitingRecords();
}

// Stages the blocks that are done, oldest first; waits for them while the pipeline is full,
// or until none is left with `wait_for_all`.
bool FolderState::StageFinished(bool wait_for_all, StatusCallback status) {
  while (const std::optional<BlockPipeline::Finished> block =
             pipeline_->TakeOldest(wait_for_all || pipeline_->full())) {
    if (!StageBlock(*block, status) || !StageWaitingRecords()) {
      // What came after the failure was read ahead; one block at a time, it never would be.
      pipeline_->Discard();
      waiting_records_.clear();
      waiting_record_bytes_ = 0;
      return false;
    }
  }
  return true;
}

bool FolderState::StageBlock(const BlockPipeline::Finished& block, StatusCallback status) {
  if (block.result != MszipResult::kOk) return services_->Fail(FciError::kCompressorFail);
  DataHeaderBuffer buffer{};
  const std::span<std::byte> header = std::span(buffer).first(data_header_size_);
  EncodeSealedDataBlockHeader({.compressed_size = static_cast<std::uint16_t>(block.coded.size()),
                               .uncompressed_size = static_cast<std::uint16_t>(block.input.size())},
                              block.coded, header);
  if (!data_staging_->Append(header) || !data_staging_->Append(block.coded)) return false;
  data_size_ += header.size() + block.coded.size();
  if (status(kStatusBlockCompressed, static_cast<std::uint32_t>(block.coded.size()),
             static_cast<std::uint32_t>(block.input.size()), services_->ctx()) == -1) {
    return services_->Fail(FciError::kUserAbort);
  }
  return true;
}

bool FolderState::AppendFileRecord(const FileRecord& record, std::string_view name,
                                   StatusCallback status) {
  std::array<std::byte, kFileRecordSize> encoded;
  EncodeFileRecord(record, encoded);
  const std::string_view stored = name.substr(0, name.find('\0'));
  WaitingRecord waiting;
  waiting.blocks_before = pipeline_ ? pipeline_->submitted() : 0;
  try {
    // Made whole before it joins the queue, so that running out of memory leaves the queue as
    // it was.
    waiting.bytes.reserve(encoded.size() + stored.size() + 1);
    waiting.bytes.append(reinterpret_cast<const char*>(encoded.data()), encoded.size());
    waiting.bytes.append(stored);
    waiting.bytes.push_back('\0');
    waiting_records_.push_back(std::move(waiting));
  } catch (const std::bad_alloc&) {
    return services_->Fail(FciError::kAllocFail);
  }
  waiting_record_bytes_ += waiting_records_.back().bytes.size();
  ++records_;
  if (waiting_records_.size() > kMaxWaitingRecords && !FinishBlocks(status)) {
    return false;
  }
  return StageWaitingRecords();
}

// Stages the records whose blocks are all staged.
bool FolderState::StageWaitingRecords() {
  const std::uint64_t staged_blocks = pipeline_ ? pipeline_->taken() : 0;
  while (!waiting_records_.empty() && waiting_records_.front().blocks_before <= staged_blocks) {
    const std::string& bytes = waiting_records_.front().bytes;
    if (!files_.Append(std::as_bytes(std::span(bytes)))) return false;
    waiting_record_bytes_ -= bytes.size();
    waiting_records_.pop_front();
  }
  return true;
}

bool FolderState::CloseCompression(StatusCallback status) {
  if (input_used_ > 0) {
    pipeline_->Submit(input_used_);
    input_used_ = 0;
  }
  if (!FinishBlocks(status)) return false;
  if (pipeline_) pipeline_->EndHistory();
  uncompressed_ = 0;
  return true;
}

bool FolderState::ReplaceTemporaries(TempFile files, std::uint64_t records) {
  const bool files_gone = files_.Destroy();
  files_ = std::move(files);
  records_ = records;
  data_size_ = carry_.size();
  return files_gone;
}

bool FolderState::Destroy() {
  pipeline_.reset();
  block_buffer_ = ClientBuffer();
  const bool carry_gone = carry_.Destroy();
  return files_.Destroy() && carry_gone;
}

}  // namespace kb::cabinet

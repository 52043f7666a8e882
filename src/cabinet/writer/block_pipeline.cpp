#include "cabinet/writer/block_pipeline.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "cabinet/writer/cabinet_format.h"

namespace kb::cabinet {

bool BlockPipeline::Start(BlockCoding coding, MszipLevel level, std::size_t workers) {
  block_coding_ = coding;
  compress_ = coding != BlockCoding::kStored;
  const std::size_t threads = coding == BlockCoding::kMszip && workers > 1 ? workers : 0;
  for (std::size_t i = 0; compress_ && i < std::max<std::size_t>(threads, 1); ++i) {
    std::optional<BlockCompressor> compressor = BlockCompressor::Create(coding, level);
    if (!compressor) return services_->Fail(FciError::kCompressorFail);
    compressors_.push_back(*std::move(compressor));
  }
  max_in_flight_ = threads == 0 ? 1 : kBlocksAheadPerWorker * threads;
  // A block's slot is filled again only once the block after it, which reads it as history,
  // has been taken.
  if (!MakeSlots(max_in_flight_ + 1)) return services_->Fail(FciError::kAllocFail);
  if (threads > 0) StartWorkers();
  return true;
}

bool BlockPipeline::MakeSlots(std::size_t count) {
  slots_.resize(count);
  for (Slot& slot : slots_) {
    slot.input = services_->Allocate(kBlockSize);
    if (!slot.input) return false;
    if (!compress_) continue;
    slot.output = services_->Allocate(kBlockSize + BlockCompressor::OutputSlack(block_coding_));
    if (!slot.output) return false;
  }
  return true;
}

// Starts one thread per compressor, or as many as the system grants.
void BlockPipeline::StartWorkers() {
  try {
    workers_.reserve(compressors_.size());
    for (BlockCompressor& compressor : compressors_) {
      workers_.emplace_back([this, &compressor](std::stop_token stop) { Work(stop, compressor); });
    }
  } catch (const std::exception&) {
    // Fewer workers code the same bytes, only more slowly; with none the calling thread codes.
  }
}

std::span<std::byte> BlockPipeline::next_input() const {
  return slot(submitted_).input.span();
}

std::size_t BlockPipeline::max_coded_size() const {
  return compress_ ? kBlockSize + BlockCompressor::OutputSlack(block_coding_) : kBlockSize;
}

void BlockPipeline::Submit(std::size_t size) {
  Slot& next = slot(submitted_);
  next.size = size;
  next.has_history = previous_full_;
  previous_full_ = size == kBlockSize;
  if (workers_.empty()) {
    Code(submitted_, compress_ ? &compressors_.front() : nullptr);
    next.done = true;
    next_to_code_ = ++submitted_;
    return;
  }
  {
    const std::lock_guard lock(mutex_);
    ++submitted_;
  }
  work_ready_.notify_one();
}

void BlockPipeline::Work(std::stop_token stop, BlockCompressor& compressor) {
  for (;;) {
    std::uint64_t sequence = 0;
    {
      std::unique_lock lock(mutex_);
      if (!work_ready_.wait(lock, stop, [this] { return next_to_code_ < submitted_; }) ||
          stop.stop_requested()) {
        return;
      }
      sequence = next_to_code_++;
      ++coding_;
    }
    Code(sequence, &compressor);
    {
      const std::lock_guard lock(mutex_);
      slot(sequence).done = true;
      --coding_;
    }
    block_done_.notify_all();
  }
}

// Codes block `sequence` with `compressor`, or stores it when there is none.
void BlockPipeline::Code(std::uint64_t sequence, BlockCompressor* compressor) {
  Slot& block = slot(sequence);
  if (compressor == nullptr) {
    block.coded_size = static_cast<std::uint16_t>(block.size);
    block.result = MszipResult::kOk;
    return;
  }
  const BlockJob job{
      .sequence = sequence,
      .history = block.has_history ? slot(sequence - 1).input.span() : std::span<std::byte>(),
      .input = block.input.span().first(block.size),
      .output = block.output.span()};
  block.result = compressor->Compress(job, &block.coded_size);
}

std::optional<BlockPipeline::Finished> BlockPipeline::TakeOldest(bool wait) {
  if (taken_ == submitted_) return std::nullopt;
  Slot& oldest = slot(taken_);
  {
    std::unique_lock lock(mutex_);
    if (wait) {
      block_done_.wait(lock, [&oldest] { return oldest.done; });
    } else if (!oldest.done) {
      return std::nullopt;
    }
    oldest.done = false;
  }
  ++taken_;
  const std::span<const std::byte> input = oldest.input.span().first(oldest.size);
  return Finished{.input = input,
                  .coded = compress_ ? oldest.output.span().first(oldest.coded_size) : input,
                  .result = oldest.result};
}

void BlockPipeline::Discard() {
  {
    std::unique_lock lock(mutex_);
    next_to_code_ = submitted_;
    block_done_.wait(lock, [this] { return coding_ == 0; });
    for (std::uint64_t sequence = taken_; sequence < submitted_; ++sequence) {
      slot(sequence).done = false;
    }
  }
  taken_ = submitted_;
  previous_full_ = false;
}

}  // namespace kb::cabinet

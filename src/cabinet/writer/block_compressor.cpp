#include "cabinet/writer/block_compressor.h"

#include <new>

#include "cabinet/writer/cabinet_format.h"

namespace kb::cabinet {

std::optional<BlockCompressor> BlockCompressor::Create(BlockCoding coding, MszipLevel level) {
  BlockCompressor made;
  if (coding == BlockCoding::kLzx) {
    try {
      made.lzx_ = std::make_unique<LzxCompressor>();
    } catch (const std::bad_alloc&) {
      return std::nullopt;
    }
    return made;
  }
  std::size_t capacity = 0;
  if (MszipCompressor::Create(kBlockSize, &made.compressor_, &capacity, level) !=
      MszipResult::kOk) {
    return std::nullopt;
  }
  return made;
}

std::size_t BlockCompressor::OutputSlack(BlockCoding coding) {
  return coding == BlockCoding::kLzx ? LzxCompressor::kOutputSlack : MszipCompressor::kOutputSlack;
}

MszipResult BlockCompressor::CompressLzx(const BlockJob& job, std::uint16_t* compressed_size) {
  if (job.history.empty()) {
    lzx_->Reset();
  } else if (last_sequence_ != job.sequence - 1) {
    return MszipResult::kBadArgument;
  }
  last_sequence_ = job.sequence;
  const std::size_t size = lzx_->Compress(job.input, job.output);
  if (size == 0) return MszipResult::kOutputOverflow;
  *compressed_size = static_cast<std::uint16_t>(size);
  return MszipResult::kOk;
}

MszipResult BlockCompressor::Compress(const BlockJob& job, std::uint16_t* compressed_size) {
  if (lzx_) return CompressLzx(job, compressed_size);
  MszipResult ready = MszipResult::kOk;
  if (job.history.empty()) {
    ready = compressor_->Reset();
  } else if (last_sequence_ != job.sequence - 1) {
    ready = compressor_->Prime(job.history);
  }
  if (ready != MszipResult::kOk) {
    last_sequence_.reset();  // its history is unknown now
    return ready;
  }
  last_sequence_ = job.sequence;
  return compressor_->Compress(job.input, job.output, compressed_size);
}

}  // namespace kb::cabinet

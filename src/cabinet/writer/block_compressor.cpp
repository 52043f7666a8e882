#include "cabinet/writer/block_compressor.h"

#include "cabinet/writer/cabinet_format.h"

namespace kb::cabinet {

std::optional<BlockCompressor> BlockCompressor::Create(MszipLevel level) {
  std::unique_ptr<MszipCompressor> compressor;
  std::size_t capacity = 0;
  if (MszipCompressor::Create(kBlockSize, &compressor, &capacity, level) != MszipResult::kOk) {
    return std::nullopt;
  }
  return BlockCompressor(std::move(compressor));
}

MszipResult BlockCompressor::Compress(const BlockJob& job, std::uint16_t* compressed_size) {
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

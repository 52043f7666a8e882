#include "cabinet/writer/block_compressor.h"

#include "cabinet/writer/cabinet_format.h"

namespace kb::cabinet {

std::optional<BlockCompressor> BlockCompressor::Create() {
  std::unique_ptr<MszipCompressor> compressor;
  std::size_t capacity = 0;
  if (MszipCompressor::Create(kBlockSize, &compressor, &capacity) != MszipResult::kOk) {
    return std::nullopt;
  }
  return BlockCompressor(std::move(compressor));
}

MszipResult BlockCompressor::Compress(const BlockJob& job, std::uint16_t* compressed_size) {
  if (job.history.empty()) {
    compressor_->Reset();
  } else if (last_sequence_ != job.sequence - 1) {
    compressor_->Prime(job.history);
  }
  last_sequence_ = job.sequence;
  return compressor_->Compress(job.input, job.output, compressed_size);
}

}  // namespace kb::cabinet

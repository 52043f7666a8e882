#include "cabinet/deflate/mszip_compressor.h"

#include <new>

#include "cabinet/deflate/mszip_encoder.h"

namespace kb::cabinet {

static_assert(MszipCompressor::kMaxBlockSize == MszipEncoder::kFullBlock);

MszipCompressor::MszipCompressor(ConstructionKey) {}

MszipResult MszipCompressor::Create(std::size_t requested_block_size,
                                    std::unique_ptr<MszipCompressor>* out,
                                    std::size_t* output_capacity, MszipLevel level) {
  out->reset();
  try {
    auto compressor = std::make_unique<MszipCompressor>(ConstructionKey{});
    compressor->encoder_ = std::make_unique<MszipEncoder>(level);
    if (requested_block_size != 0 && requested_block_size < kMaxBlockSize) {
      compressor->block_size_ = requested_block_size;
    }
    *output_capacity = compressor->block_size_ + kOutputSlack;
    *out = std::move(compressor);
    return MszipResult::kOk;
  } catch (const std::bad_alloc&) {
    return MszipResult::kOutOfMemory;
  }
}

MszipCompressor::~MszipCompressor() = default;

MszipResult MszipCompressor::Compress(std::span<const std::byte> input, std::span<std::byte> output,
                                      std::uint16_t* compressed_size) {
  if (input.size() > block_size_ || output.size() < block_size_ + kOutputSlack ||
      compressed_size == nullptr) {
    return MszipResult::kBadArgument;
  }
  const MszipEncoder::Encoded encoded = encoder_->Encode(input, output);
  *compressed_size = encoded.size;
  return encoded.overflowed ? MszipResult::kOutputOverflow : MszipResult::kOk;
}

MszipResult MszipCompressor::Reset() {
  encoder_->Reset();
  return MszipResult::kOk;
}

MszipResult MszipCompressor::Prime(std::span<const std::byte> history) {
  if (block_size_ != kMaxBlockSize || history.size() != kMaxBlockSize) {
    return MszipResult::kBadArgument;
  }
  encoder_->Prime(history);
  return MszipResult::kOk;
}

}  // namespace kb::cabinet

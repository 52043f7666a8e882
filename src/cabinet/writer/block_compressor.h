#ifndef KITBINDER_CABINET_WRITER_BLOCK_COMPRESSOR_H_
#define KITBINDER_CABINET_WRITER_BLOCK_COMPRESSOR_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "cabinet/deflate/mszip_compressor.h"
#include "cabinet/lzx/lzx_compressor.h"

namespace kb::cabinet {

// One block of a folder's stream, as a compressor sees it.
struct BlockJob {
  std::uint64_t sequence = 0;          // the block's place among all blocks handed out
  std::span<const std::byte> history;  // the full block before it in its folder, or empty
  std::span<const std::byte> input;    // its bytes, at most kBlockSize
  std::span<std::byte> output;         // room for its MSZIP block
};

// How a folder's blocks are coded.
enum class BlockCoding : std::uint8_t { kStored, kMszip, kLzx };

// An MSZIP compressor that codes the blocks of folders in any order and on any thread: given
// a block and the block before it, it codes the block exactly as one compressor going through
// the whole stream would. When it coded the block before itself it simply goes on; otherwise
// it primes its window with that block first.
//
// An LZX compressor instead carries its window through the folder, so it must code every
// block of a folder in order, on one thread; a block whose predecessor it did not code fails.
//
// Used by one thread at a time; may move to another thread between blocks.
class BlockCompressor {
 public:
  // An MSZIP compressor searching as `level` says, or an LZX one; nullopt when its buffers
  // cannot be allocated.
  [[nodiscard]] static std::optional<BlockCompressor> Create(BlockCoding coding, MszipLevel level);

  // Output room a block needs beyond its input.
  static std::size_t OutputSlack(BlockCoding coding);

  // Codes `job.input` into `job.output`; returns the compressor's result and stores the coded
  // size in *compressed_size. Allocates nothing, so it may run on a worker thread that has no
  // way to report an exception. A history that is not a full block fails with kBadArgument.
  // REQUIRES: job.history is empty or a full block; job.output is at least kBlockSize +
  // MszipCompressor::kOutputSlack bytes.
  [[nodiscard]] MszipResult Compress(const BlockJob& job, std::uint16_t* compressed_size);

 private:
  BlockCompressor() = default;
  [[nodiscard]] MszipResult CompressLzx(const BlockJob& job, std::uint16_t* compressed_size);

  std::unique_ptr<MszipCompressor> compressor_;
  std::unique_ptr<LzxCompressor> lzx_;
  std::optional<std::uint64_t> last_sequence_;  // of the block this compressor coded last
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_WRITER_BLOCK_COMPRESSOR_H_

#ifndef KITBINDER_CABINET_DEFLATE_MSZIP_COMPRESSOR_H_
#define KITBINDER_CABINET_DEFLATE_MSZIP_COMPRESSOR_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "cabinet/deflate/mszip_level.h"

namespace kb::cabinet {

// Result codes of the compressor, as the cabinet writer expects them.
enum class MszipResult : int {
  kOk = 0,
  kOutOfMemory = 1,     // Create could not allocate its buffers
  kBadArgument = 2,     // wrong object, input over the block size, output under capacity
  kOutputOverflow = 4,  // the coded block did not fit; bytes past the capacity were dropped
};

class MszipEncoder;  // the Deflate encoder state; defined in the implementation

// Compresses blocks of up to 32,768 bytes into MSZIP blocks ("CK" and a final Deflate stream).
// Consecutive full blocks share history, so a block may refer back into the previous one; a
// short block or Reset ends that history.
//
// All memory is allocated by Create; Compress allocates nothing. Not thread-safe.
class MszipCompressor {
  // Only Create can make the key, so only Create makes compressors.
  struct ConstructionKey {
    explicit ConstructionKey() = default;
  };

 public:
  static constexpr std::size_t kMaxBlockSize = 32768;
  // Output space the writer must offer beyond the block size.
  static constexpr std::size_t kOutputSlack = 12;

  // Makes a compressor that searches as `level` says. A requested size of 0 or above
  // kMaxBlockSize means kMaxBlockSize.
  // On success stores the compressor in *out and its required output capacity (block size +
  // kOutputSlack) in *output_capacity and returns kOk; returns kOutOfMemory with *out empty
  // when an allocation fails.
  [[nodiscard]] static MszipResult Create(std::size_t requested_block_size,
                                          std::unique_ptr<MszipCompressor>* out,
                                          std::size_t* output_capacity,
                                          MszipLevel level = MszipLevel::kBest);

  explicit MszipCompressor(ConstructionKey);
  ~MszipCompressor();  // Destroy
  MszipCompressor(const MszipCompressor&) = delete;
  MszipCompressor& operator=(const MszipCompressor&) = delete;

  // Compresses `input` into `output` and stores the compressed size in *compressed_size.
  // REQUIRES: input.size() <= block size and output.size() >= block size + kOutputSlack,
  // otherwise returns kBadArgument and changes nothing.
  [[nodiscard]] MszipResult Compress(std::span<const std::byte> input, std::span<std::byte> output,
                                     std::uint16_t* compressed_size);

  // Forgets the history, so that the next block is coded as if it were the first of a folder.
  // Always returns kOk.
  [[nodiscard]] MszipResult Reset();

  // Takes `history` as the block compressed last: the next Compress codes its input exactly as
  // it would right after compressing `history`. This lets any compressor code any block of a
  // folder, given the block before it. Returns kBadArgument, changing nothing, unless
  // history.size() is the block size and that is kMaxBlockSize (only full blocks pass history
  // on); else kOk.
  [[nodiscard]] MszipResult Prime(std::span<const std::byte> history);

  std::size_t block_size() const { return block_size_; }

 private:
  std::size_t block_size_ = kMaxBlockSize;
  std::unique_ptr<MszipEncoder> encoder_;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_DEFLATE_MSZIP_COMPRESSOR_H_

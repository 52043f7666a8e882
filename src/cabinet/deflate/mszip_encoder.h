#ifndef KITBINDER_CABINET_DEFLATE_MSZIP_ENCODER_H_
#define KITBINDER_CABINET_DEFLATE_MSZIP_ENCODER_H_

#include <cstddef>
#include <cstdint>
#include <span>

#include "cabinet/deflate/bit_writer.h"
#include "cabinet/deflate/block_tally.h"
#include "cabinet/deflate/deflate_block_writer.h"
#include "cabinet/deflate/match_finder.h"
#include "cabinet/deflate/mszip_level.h"

namespace kb::cabinet {

// The state behind an MszipCompressor: window, hash chains, tally, trees and the history flag.
// About a quarter of a megabyte, so it lives on the heap; all of it is made at once.
class MszipEncoder {
 public:
  // Blocks of this size pass their data on as history to the next block.
  static constexpr std::size_t kFullBlock = MatchFinder::kHalf;

  explicit MszipEncoder(MszipLevel level) : effort_(EffortOf(level)) {}

  struct Encoded {
    std::uint16_t size = 0;   // bytes written to the output
    bool overflowed = false;  // bytes that did not fit were dropped
  };

  // Codes `input` as "CK" and a complete Deflate stream into `output`. The coded size of a
  // full block stays well below 65,536 bytes.
  // REQUIRES: input.size() <= kFullBlock.
  Encoded Encode(std::span<const std::byte> input, std::span<std::byte> output);

  // Ends the history: the next block is coded as if it were the first.
  void Reset() { history_ = false; }

  // Makes `history` the block coded last, as far as the next block can tell.
  // REQUIRES: history.size() == kFullBlock.
  void Prime(std::span<const std::byte> history) {
    finder_.Prime(history);
    history_ = true;
  }

 private:
  MatchEffort effort_;
  bool history_ = false;  // the previous block was full and its data is in the window
  MatchFinder finder_;
  BlockTally tally_;
  DeflateBlockWriter writer_;
  BitWriter out_;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_DEFLATE_MSZIP_ENCODER_H_

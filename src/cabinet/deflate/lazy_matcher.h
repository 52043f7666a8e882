#ifndef KITBINDER_CABINET_DEFLATE_LAZY_MATCHER_H_
#define KITBINDER_CABINET_DEFLATE_LAZY_MATCHER_H_

#include <cstdint>

#include "cabinet/deflate/bit_writer.h"
#include "cabinet/deflate/block_tally.h"
#include "cabinet/deflate/deflate_block_writer.h"
#include "cabinet/deflate/match_finder.h"
#include "cabinet/deflate/mszip_level.h"

namespace kb::cabinet {

// Codes the block loaded in a MatchFinder as a Deflate stream of one or more blocks, the last
// marked final. Lazy matching: a match found at one position is held back a step, and dropped
// for a literal when the next position starts a longer one; the MatchEffort says how far each
// search goes and which matches are coded at once (see mszip_level.h).
//
// Borrows the parts it drives for the duration of Run; they must outlive it.
class LazyMatcher {
 public:
  // A 3-byte match farther back than this costs more than three literals.
  static constexpr std::uint32_t kMaxShortMatchDistance = 4096;
  // Matches are searched only at positions below this one, three bytes before the end of a
  // full block.
  static constexpr std::uint32_t kSearchEnd = 2 * MatchFinder::kHalf - 3;

  LazyMatcher(MatchEffort effort, MatchFinder& finder, BlockTally& tally,
              DeflateBlockWriter& writer, BitWriter& out)
      : effort_(effort), finder_(finder), tally_(tally), writer_(writer), out_(out) {}

  // REQUIRES: a block is loaded in the finder and the tally is clear.
  void Run();

 private:
  Match Search(std::uint32_t candidate, Match previous) const;
  void TakeMatch(Match match);
  void TakeLiteral();
  void EndBlock(bool final);

  MatchEffort effort_;
  MatchFinder& finder_;
  BlockTally& tally_;
  DeflateBlockWriter& writer_;
  BitWriter& out_;
  std::uint32_t position_ = MatchFinder::kBlockStart;  // next byte to code
  std::uint32_t block_start_ = MatchFinder::kBlockStart;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_DEFLATE_LAZY_MATCHER_H_

#include "cabinet/deflate/block_tally.h"

namespace kb::cabinet {

void BlockTally::Clear() {
  // Flag bytes are cleared as the tally reaches them, so only the first needs it here.
  match_flags_[0] = 0;
  count_ = 0;
  matches_ = 0;
  literal_length_frequencies_.fill(0);
  literal_length_frequencies_[deflate::kEndOfBlock] = 1;
  distance_frequencies_.fill(0);
}

// Estimates the output as 8 bits per symbol plus 5 and the extra bits per distance.
bool BlockTally::LooksCompressedEnough(std::uint32_t block_input) const {
  std::uint32_t estimate = static_cast<std::uint32_t>(count_) * 8;
  for (int code = 0; code < deflate::kDistanceCodes; ++code) {
    estimate += distance_frequencies_[code] * (5 + deflate::kDistanceExtraBits[code]);
  }
  estimate /= 8;
  return matches_ < count_ / 2 && estimate < block_input / 2;
}

}  // namespace kb::cabinet

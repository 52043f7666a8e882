#ifndef KITBINDER_CABINET_DEFLATE_BLOCK_TALLY_H_
#define KITBINDER_CABINET_DEFLATE_BLOCK_TALLY_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "cabinet/deflate/deflate_tables.h"

namespace kb::cabinet {

// The literals and matches of the Deflate block being built, in order, with the symbol
// frequencies its Huffman trees are made from. It also decides when a block has gathered
// enough to end. A block never covers more than one MSZIP block's 32,768 bytes of input.
class BlockTally {
 public:
  // Tallies per block: the literal buffer holds one more, but a block ends at this count.
  static constexpr std::size_t kMaxTallies = 32767;

  BlockTally() { Clear(); }

  // Empties the tally for a new block; the end-of-block code is counted once.
  void Clear();

  // Each Add returns true when the block should end after this symbol: when the buffers are
  // full, or, every 4,096 symbols, when matches are rare and the output looks like less than
  // half of the `block_input` bytes read since the block began.
  bool AddLiteral(std::uint8_t literal, std::uint32_t block_input) {
    symbols_[count_] = literal;
    ++literal_length_frequencies_[literal];
    return Added(block_input);
  }
  // REQUIRES: deflate::kMinMatch <= length <= deflate::kMaxMatch; 1 <= distance <= 32,768.
  bool AddMatch(int length, int distance, std::uint32_t block_input) {
    symbols_[count_] = static_cast<std::uint8_t>(length - deflate::kMinMatch);
    distances_[matches_++] = static_cast<std::uint16_t>(distance - 1);
    match_flags_[count_ >> 3] |= static_cast<std::uint8_t>(1u << (count_ & 7));
    ++literal_length_frequencies_[deflate::kFirstLengthCode + deflate::LengthCode(length)];
    ++distance_frequencies_[deflate::DistanceCode(distance)];
    return Added(block_input);
  }

  std::size_t size() const { return count_; }
  bool IsMatch(std::size_t i) const { return (match_flags_[i >> 3] >> (i & 7)) & 1; }
  // The literal, or for a match its length - 3.
  std::uint8_t symbol(std::size_t i) const { return symbols_[i]; }
  // Distance - 1 of the j-th match.
  std::uint16_t distance(std::size_t j) const { return distances_[j]; }

  std::span<const std::uint32_t> literal_length_frequencies() const {
    return literal_length_frequencies_;
  }
  std::span<const std::uint32_t> distance_frequencies() const { return distance_frequencies_; }

 private:
  bool Added(std::uint32_t block_input) {
    ++count_;
    if ((count_ & 7) == 0) match_flags_[count_ >> 3] = 0;
    if (count_ % 4096 == 0 && LooksCompressedEnough(block_input)) return true;
    return count_ == kMaxTallies;
  }
  bool LooksCompressedEnough(std::uint32_t block_input) const;

  // Every match covers at least three bytes of input.
  static constexpr std::size_t kMaxMatches = 32768 / deflate::kMinMatch;

  std::array<std::uint8_t, kMaxTallies + 1> symbols_;
  std::array<std::uint16_t, kMaxMatches> distances_;
  std::array<std::uint8_t, (kMaxTallies + 1) / 8> match_flags_;
  std::size_t count_ = 0;
  std::size_t matches_ = 0;
  std::array<std::uint32_t, deflate::kLiteralLengthCodes> literal_length_frequencies_;
  std::array<std::uint32_t, deflate::kDistanceCodes> distance_frequencies_;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_DEFLATE_BLOCK_TALLY_H_

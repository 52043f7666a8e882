#ifndef KITBINDER_CABINET_DEFLATE_MATCH_FINDER_H_
#define KITBINDER_CABINET_DEFLATE_MATCH_FINDER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kb::cabinet {

// A match: `length` bytes at window position `start` equal those at the position searched.
struct Match {
  std::uint32_t length = 0;
  std::uint32_t start = 0;
};

// The compression window and its hash chains. The window has two halves of 32,768 bytes: the
// block being coded always lies in the upper half, and the lower half holds the previous full
// block when history is kept, so matches can reach back into it. History costs one copy of the
// block and its chains per block instead of sliding the window.
//
// Positions are window offsets. Position 0 always lies out of reach of the block, so the chains
// use it for "none".
class MatchFinder {
 public:
  static constexpr std::uint32_t kHalf = 32768;
  static constexpr std::uint32_t kBlockStart = kHalf;
  // Farthest distance a match may reach back, leaving room for the longest match ahead.
  static constexpr std::uint32_t kMaxDistance = kHalf - 262;

  // Puts `block` into the upper half and restarts the hash chains. With `keep_history` the
  // block loaded (or primed) before becomes the lower half, its chains going on from the new
  // block's; without, nothing earlier can be found.
  // REQUIRES: block.size() <= kHalf; with `keep_history`, the block before was full.
  void Load(std::span<const std::byte> block, bool keep_history);

  // Makes `block` the history of the next Load, with the hash chains exactly as coding it
  // would have left them (every position inserted that had three bytes ahead), so that a block
  // coded after a Prime comes out as it would after its predecessor.
  // REQUIRES: block.size() == kHalf.
  void Prime(std::span<const std::byte> block);

  // Enters the three bytes at `position` into the hash chains and returns the most recent
  // earlier position whose bytes hashed alike (0 for none).
  // REQUIRES: positions are inserted in order, without gaps, from kBlockStart; at least three
  // bytes of the block start at `position`.
  std::uint32_t Insert(std::uint32_t position) {
    hash_ = ((hash_ << kHashShift) ^ window_[position + 2]) & kHashMask;
    const std::uint16_t previous = heads_[hash_];
    chains_[position] = previous;
    heads_[hash_] = static_cast<std::uint16_t>(position);
    return previous;
  }

  // Walks the chain from `candidate` for the longest match at `position`: returns the first
  // candidate longer than `best` (and than every candidate before it), or `best` unchanged when
  // none is longer. Stops at a full-length match, after `max_chain` candidates, or at a
  // candidate more than kMaxDistance back (the first candidate excepted: the caller checks it).
  // Never compares past the end of the block, so a match is never longer than the block's
  // remaining bytes.
  // REQUIRES: kBlockStart <= position < end(), 0 < candidate < position, best.length >= 2,
  // max_chain >= 1.
  Match LongestMatch(std::uint32_t position, std::uint32_t candidate, Match best,
                     int max_chain) const;

  std::uint8_t at(std::uint32_t position) const { return window_[position]; }
  // Window bytes [begin, end).
  std::span<const std::uint8_t> bytes(std::uint32_t begin, std::uint32_t end) const {
    return std::span(window_).subspan(begin, end - begin);
  }
  // One past the last byte of the loaded block.
  std::uint32_t end() const { return end_; }

 private:
  static constexpr int kHashShift = 5;
  static constexpr std::uint32_t kHashMask = kHalf - 1;

  // Moves the block in the upper half, with its chains, to the lower half.
  void MoveToHistory();

  std::array<std::uint8_t, 2 * kHalf> window_{};
  std::array<std::uint16_t, kHalf> heads_{};  // newest position per hash
  // Per window position, the previous one with the same hash. A slot for every position, not
  // one per hash-table entry, spares the chain walk a mask per candidate.
  std::array<std::uint16_t, 2 * kHalf> chains_{};
  bool primed_ = false;  // the lower half and its chains were set up by Prime
  std::uint32_t end_ = kBlockStart;
  std::uint32_t hash_ = 0;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_DEFLATE_MATCH_FINDER_H_

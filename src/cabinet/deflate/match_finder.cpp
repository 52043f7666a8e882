#include "cabinet/deflate/match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "cabinet/deflate/deflate_tables.h"

namespace kb::cabinet {
namespace {

std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

std::uint16_t Load16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Index of the first differing byte in two words loaded from memory; REQUIRES: diff != 0.
int FirstDifferentByte(std::uint64_t diff) {
  if constexpr (std::endian::native == std::endian::little) return std::countr_zero(diff) / 8;
  return std::countl_zero(diff) / 8;
}

// How many bytes from `a` and `b` agree, up to `limit`, eight at a time.
std::uint32_t CommonLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit) {
  std::uint32_t n = 0;
  for (; n + 8 <= limit; n += 8) {
    const std::uint64_t diff = Load64(a + n) ^ Load64(b + n);
    if (diff != 0) return n + FirstDifferentByte(diff);
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

// Position `p` of the upper half as a position of the lower half; positions in the lower half
// fall out (become "none").
std::uint16_t OneHalfDown(std::uint16_t p, std::uint16_t half) {
  return static_cast<std::uint16_t>(p - std::min(p, half));
}

}  // namespace

void MatchFinder::Load(std::span<const std::byte> block, bool keep_history) {
  if (keep_history && !primed_) MoveToHistory();
  if (!keep_history) heads_.fill(0);
  primed_ = false;
  if (!block.empty()) std::memcpy(&window_[kBlockStart], block.data(), block.size());
  end_ = kBlockStart + static_cast<std::uint32_t>(block.size());
  // The chains of new positions are written as they are inserted, so stale ones are never read.
  hash_ = window_[kBlockStart];
  hash_ = ((hash_ << kHashShift) ^ window_[kBlockStart + 1]) & kHashMask;
}

void MatchFinder::MoveToHistory() {
  std::memcpy(&window_[0], &window_[kHalf], kHalf);
  for (std::uint16_t& head : heads_) head = OneHalfDown(head, kHalf);
  for (std::uint32_t p = 0; p < kHalf; ++p) chains_[p] = OneHalfDown(chains_[p + kHalf], kHalf);
}

void MatchFinder::Prime(std::span<const std::byte> block) {
  std::memcpy(&window_[0], block.data(), kHalf);
  heads_.fill(0);
  std::uint32_t hash = window_[0];
  hash = ((hash << kHashShift) ^ window_[1]) & kHashMask;
  // As coding the block and moving it down would: position 0 becomes "none".
  for (std::uint32_t p = 0; p + 3 <= kHalf; ++p) {
    hash = ((hash << kHashShift) ^ window_[p + 2]) & kHashMask;
    chains_[p] = heads_[hash];
    heads_[hash] = static_cast<std::uint16_t>(p);
  }
  primed_ = true;
}

Match MatchFinder::LongestMatch(std::uint32_t position, std::uint32_t candidate, Match best,
                                int max_chain) const {
  const std::uint32_t limit = std::min<std::uint32_t>(deflate::kMaxMatch, end_ - position);
  if (best.length >= limit) return best;
  const std::uint8_t* const window = window_.data();
  const std::uint8_t* const scan = window + position;
  const std::uint32_t lowest = position - kMaxDistance;  // candidates must lie above this
  // A longer match must agree at the first two bytes and at the last two of the best so far;
  // the scan's side of both stays in registers while the chain is walked.
  const std::uint16_t scan_start = Load16(scan);
  std::uint32_t end_offset = best.length - 1;
  std::uint16_t scan_end = Load16(scan + end_offset);
  int chain = max_chain;
  do {
    const std::uint8_t* const match = window + candidate;
    if (Load16(match + end_offset) != scan_end || Load16(match) != scan_start) continue;
    const std::uint32_t length = 2 + CommonLength(scan + 2, match + 2, limit - 2);
    if (length > best.length) {
      best = {length, candidate};
      if (length >= limit) break;
      end_offset = length - 1;
      scan_end = Load16(scan + end_offset);
    }
  } while ((candidate = chains_[candidate]) > lowest && --chain != 0);
  return best;
}

}  // namespace kb::cabinet

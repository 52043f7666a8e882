#include "cabinet/match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "cabinet/deflate_tables.h"

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

// Drops every position by one half; positions in the lower half fall out (become "none").
void Rebase(std::span<std::uint16_t> positions, std::uint16_t half) {
  for (std::uint16_t& p : positions) p = static_cast<std::uint16_t>(p - std::min(p, half));
}

}  // namespace

void MatchFinder::Load(std::span<const std::byte> block, bool keep_history) {
  if (!block.empty()) std::memcpy(&window_[kBlockStart], block.data(), block.size());
  end_ = kBlockStart + static_cast<std::uint32_t>(block.size());
  if (keep_history) {
    Rebase(heads_, kHalf);
    Rebase(chains_, kHalf);
  } else {
    heads_.fill(0);
  }
  // The chains of new positions are written as they are inserted, so stale ones are never read.
  hash_ = window_[kBlockStart];
  hash_ = ((hash_ << kHashShift) ^ window_[kBlockStart + 1]) & kHashMask;
}

void MatchFinder::KeepAsHistory() {
  std::memcpy(&window_[0], &window_[kBlockStart], kHalf);
}

void MatchFinder::Prime(std::span<const std::byte> block) {
  std::memcpy(&window_[0], block.data(), kHalf);
  // Coding leaves the block's positions in the upper half, which the next Load drops by one
  // half; so the lower-half bytes are entered under their upper-half positions.
  heads_.fill(0);
  std::uint32_t hash = window_[0];
  hash = ((hash << kHashShift) ^ window_[1]) & kHashMask;
  for (std::uint32_t p = 0; p + 3 <= kHalf; ++p) {
    hash = ((hash << kHashShift) ^ window_[p + 2]) & kHashMask;
    chains_[p] = heads_[hash];
    heads_[hash] = static_cast<std::uint16_t>(p + kHalf);
  }
}

Match MatchFinder::LongestMatch(std::uint32_t position, std::uint32_t candidate, Match best) const {
  const std::uint32_t limit = std::min<std::uint32_t>(deflate::kMaxMatch, end_ - position);
  if (best.length >= limit) return best;
  const std::uint8_t* scan = &window_[position];
  const std::uint32_t lowest = position - kMaxDistance;  // candidates must lie above this
  int chain = kMaxChain;
  do {
    const std::uint8_t* match = &window_[candidate];
    // A longer match must agree at the last two bytes of the best so far, and at the first two.
    if (Load16(match + best.length - 1) != Load16(scan + best.length - 1) ||
        Load16(match) != Load16(scan)) {
      continue;
    }
    const std::uint32_t length = 2 + CommonLength(scan + 2, match + 2, limit - 2);
    if (length > best.length) {
      best = {length, candidate};
      if (length >= limit) break;
    }
  } while ((candidate = chains_[candidate & kHashMask]) > lowest && --chain != 0);
  return best;
}

}  // namespace kb::cabinet

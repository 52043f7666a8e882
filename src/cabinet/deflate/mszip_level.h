#ifndef KITBINDER_CABINET_DEFLATE_MSZIP_LEVEL_H_
#define KITBINDER_CABINET_DEFLATE_MSZIP_LEVEL_H_

#include <cstdint>

namespace kb::cabinet {

// How hard the MSZIP compressor searches for matches. Every level writes valid MSZIP that any
// reader takes; they differ only in time and size.
enum class MszipLevel : std::uint8_t {
  kBest,    // the slowest and smallest
  kNormal,  // lazy, shorter chains: a third of kBest's time for about 1 % more
  kFast,    // greedy, eight candidates a search: an eighth of kBest's time for about 5 % more
};

// The search limits behind a level.
//
// - max_chain: candidates of one hash chain compared per search. Long chains are walked for
//   highly repetitive data (many positions share a hash), where the longest match is rarely
//   much longer than one found among the newest candidates.
// - lazy_limit: a match at least this long is coded at once; a shorter one is held back a byte
//   and dropped for a literal when the next position starts a longer match. At the minimum
//   match length (3) every match is coded at once: greedy parsing, with no second search per
//   match.
//
// Every level enters every position into the hash chains, skipped ones inside matches
// included: the chains a block leaves behind are then the same at every level, which keeps a
// block's bytes a function of its input and the block before it alone (what lets the writer
// code the blocks of a folder on several threads).
struct MatchEffort {
  int max_chain = 0;
  std::uint32_t lazy_limit = 0;
};

constexpr MatchEffort EffortOf(MszipLevel level) {
  switch (level) {
    case MszipLevel::kFast:
      return {.max_chain = 8, .lazy_limit = 3};
    case MszipLevel::kNormal:
      return {.max_chain = 64, .lazy_limit = 16};
    case MszipLevel::kBest:
      break;
  }
  return {.max_chain = 4096, .lazy_limit = 32};
}

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_DEFLATE_MSZIP_LEVEL_H_

#include "cabinet/deflate/lazy_matcher.h"

#include <algorithm>

#include "cabinet/deflate/deflate_tables.h"

namespace kb::cabinet {

// At each position the byte before it is pending: it is coded either as the start of the
// match found there (when the match at this position is no longer) or as a literal.
void LazyMatcher::Run() {
  const std::uint32_t end = finder_.end();
  Match match{deflate::kMinMatch - 1, 0};
  bool pending = false;
  while (position_ < end) {
    const std::uint32_t candidate = end - position_ >= 3 ? finder_.Insert(position_) : 0;
    const Match previous = match;
    match.length = deflate::kMinMatch - 1;
    if (candidate != 0) match = Search(candidate, previous);
    if (previous.length >= deflate::kMinMatch && match.length <= previous.length) {
      TakeMatch(previous);
      match.length = deflate::kMinMatch - 1;
      pending = false;
    } else if (pending) {
      TakeLiteral();
      ++position_;
    } else {
      pending = true;
      ++position_;
    }
  }
  if (pending) tally_.AddLiteral(finder_.at(position_ - 1), position_ - block_start_);
  EndBlock(true);
}

// The match at the current position, or `previous` again when no search is due or none
// beats it.
Match LazyMatcher::Search(std::uint32_t candidate, Match previous) const {
  const Match none{deflate::kMinMatch - 1, previous.start};
  if (previous.length >= effort_.lazy_limit || position_ - candidate > MatchFinder::kMaxDistance ||
      position_ >= kSearchEnd) {
    return none;
  }
  Match found = finder_.LongestMatch(position_, candidate, previous, effort_.max_chain);
  found.length = std::min(found.length, finder_.end() - position_);
  if (found.length == deflate::kMinMatch && position_ - found.start > kMaxShortMatchDistance) {
    found.length = deflate::kMinMatch - 1;
  }
  return found;
}

// Codes the held-back match, which starts one byte before the current position, and moves
// past it, entering its inner positions into the hash chains.
void LazyMatcher::TakeMatch(Match match) {
  const std::uint32_t start = position_ - 1;
  const bool end_block =
      tally_.AddMatch(static_cast<int>(match.length), static_cast<int>(start - match.start),
                      position_ - block_start_);
  const std::uint32_t next = start + match.length;
  const std::uint32_t last_insertable = finder_.end() - 3;
  for (std::uint32_t p = position_ + 1; p < next && p <= last_insertable; ++p) finder_.Insert(p);
  position_ = next;
  if (end_block) EndBlock(false);
}

// Codes the held-back byte as a literal; a block that ends here ends before the current byte.
void LazyMatcher::TakeLiteral() {
  if (tally_.AddLiteral(finder_.at(position_ - 1), position_ - block_start_)) EndBlock(false);
}

void LazyMatcher::EndBlock(bool final) {
  writer_.Write(tally_, finder_.bytes(block_start_, position_), final, out_);
  tally_.Clear();
  block_start_ = position_;
}

}  // namespace kb::cabinet

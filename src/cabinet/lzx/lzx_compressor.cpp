#include "cabinet/lzx/lzx_compressor.h"

#include <algorithm>
#include <cstring>

#include "cabinet/lzx/lzx_bit_writer.h"
#include "cabinet/lzx/lzx_huffman.h"

namespace kb::cabinet {
namespace {

constexpr std::uint32_t kWindowSize = 1u << LzxCompressor::kWindowBits;
constexpr std::uint32_t kWindowMask = kWindowSize - 1;
constexpr std::uint32_t kMaxDistance = kWindowSize - 3;
constexpr std::uint32_t kMinMatch = 2;
constexpr std::uint32_t kHashMinMatch = 3;
constexpr std::uint32_t kMaxMatch = 257;
constexpr int kPositionSlots = 50;  // of a 2 MB window
constexpr int kLiterals = 256;
constexpr int kMainCodes = kLiterals + 8 * kPositionSlots;
constexpr int kPrimaryLengths = 7;
constexpr int kLengthCodes = 249;
constexpr int kPretreeCodes = 20;
constexpr int kMaxCodeBits = 16;
constexpr int kMaxPretreeBits = 15;  // its lengths are sent in four bits
constexpr int kHashBits = 16;
constexpr std::uint32_t kBlockVerbatim = 1;
constexpr std::uint32_t kBlockUncompressed = 3;

struct SlotTables {
  std::array<std::uint32_t, kPositionSlots + 1> base{};
  std::array<int, kPositionSlots> extra{};
};

constexpr SlotTables MakeSlotTables() {
  SlotTables t;
  for (int slot = 0; slot < kPositionSlots; ++slot) {
    t.extra[slot] = slot < 4 ? 0 : std::min((slot - 2) / 2, 17);
    t.base[slot + 1] = t.base[slot] + (1u << t.extra[slot]);
  }
  return t;
}
constexpr SlotTables kSlots = MakeSlotTables();
static_assert(kSlots.base[kPositionSlots] >= kWindowSize);

// The position slot of a formatted offset (0 to 2 are the repeated offsets).
int SlotOf(std::uint32_t formatted) {
  const auto above = std::upper_bound(kSlots.base.begin(), kSlots.base.end(), formatted);
  return static_cast<int>(above - kSlots.base.begin()) - 1;
}

std::uint32_t Hash(const std::uint8_t* p) {
  const std::uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
  return (v * 2654435761u) >> (32 - kHashBits);
}

// Sends `next` through a pretree as deltas against `previous`.
void WriteTree(LzxBitWriter& out, std::span<const std::uint8_t> previous,
               std::span<const std::uint8_t> next) {
  struct Symbol {
    std::uint8_t code;
    std::uint8_t extra;
  };
  std::vector<Symbol> symbols;
  std::array<std::uint32_t, kPretreeCodes> frequencies{};
  for (std::size_t i = 0; i < next.size();) {
    std::size_t zeros = 0;
    while (i + zeros < next.size() && next[i + zeros] == 0 && zeros < 51) ++zeros;
    if (zeros >= 20) {
      symbols.push_back({18, static_cast<std::uint8_t>(zeros - 20)});
    } else if (zeros >= 4) {
      zeros = std::min<std::size_t>(zeros, 19);
      symbols.push_back({17, static_cast<std::uint8_t>(zeros - 4)});
    } else {
      symbols.push_back({static_cast<std::uint8_t>((previous[i] + 17 - next[i]) % 17), 0});
      zeros = 1;
    }
    ++frequencies[symbols.back().code];
    i += zeros;
  }
  std::array<std::uint8_t, kPretreeCodes> lengths{};
  std::array<std::uint16_t, kPretreeCodes> codes{};
  BuildLzxLengths(frequencies, kMaxPretreeBits, lengths);
  CanonicalCodes(lengths, codes);
  for (const std::uint8_t length : lengths) out.PutBits(length, 4);
  for (const Symbol& s : symbols) {
    out.PutBits(codes[s.code], lengths[s.code]);
    if (s.code == 17) out.PutBits(s.extra, 4);
    if (s.code == 18) out.PutBits(s.extra, 5);
  }
}

void WriteBlockHeader(LzxBitWriter& out, bool first, std::uint32_t type, std::size_t size) {
  if (first) out.PutBits(0, 1);  // no Intel E8 translation
  out.PutBits(type, 3);
  out.PutBits(static_cast<std::uint32_t>(size >> 8), 16);
  out.PutBits(static_cast<std::uint32_t>(size & 0xFF), 8);
}

}  // namespace

LzxCompressor::LzxCompressor()
    : window_(2 * kWindowSize + kFrameSize),
      heads_(std::size_t{1} << kHashBits),
      chains_(kWindowSize),
      main_lengths_(kMainCodes),
      length_lengths_(kLengthCodes) {
  tokens_.reserve(kFrameSize);
}

void LzxCompressor::Reset() {
  std::ranges::fill(heads_, 0);
  base_ = 0;
  end_ = 0;
  started_ = false;
  repeated_ = {1, 1, 1};
  std::ranges::fill(main_lengths_, 0);
  std::ranges::fill(length_lengths_, 0);
}

void LzxCompressor::Append(std::span<const std::byte> frame) {
  if (end_ - base_ + frame.size() > window_.size()) {
    const std::uint32_t shift = end_ - base_ - kWindowSize;
    std::memmove(window_.data(), window_.data() + shift, kWindowSize);
    base_ += shift;
  }
  std::memcpy(&window_[end_ - base_], frame.data(), frame.size());
  end_ += static_cast<std::uint32_t>(frame.size());
}

void LzxCompressor::Insert(std::uint32_t position) {
  std::uint32_t& head = heads_[Hash(at(position))];
  chains_[position & kWindowMask] = head;
  head = position + 1;
}

LzxCompressor::Found LzxCompressor::LongestMatch(std::uint32_t position, std::uint32_t end) const {
  const std::uint32_t limit = std::min(kMaxMatch, end - position);
  const std::uint8_t* const scan = at(position);
  Found best;
  std::uint32_t link = chains_[position & kWindowMask];
  for (int chain = kMaxChain; link != 0 && chain > 0; --chain) {
    const std::uint32_t candidate = link - 1;
    if (candidate >= position || position - candidate > kMaxDistance || candidate < base_) break;
    const std::uint8_t* const match = at(candidate);
    if (match[best.length] == scan[best.length] || best.length == 0) {
      std::uint32_t length = 0;
      while (length < limit && match[length] == scan[length]) ++length;
      if (length > best.length) {
        best = {length, position - candidate};
        if (length == limit) break;
      }
    }
    link = chains_[candidate & kWindowMask];
  }
  if (best.length < kHashMinMatch) best.length = 0;
  return best;
}

void LzxCompressor::AddMatch(Found match) {
  if (match.distance == repeated_[0]) {
    tokens_.push_back({match.length, 0});
    return;
  }
  tokens_.push_back({match.length, match.distance + 2});
  repeated_ = {match.distance, repeated_[0], repeated_[1]};
}

// At each position the byte before it may be pending: it is coded either as the start of the
// match found there (when the match here is no longer) or as a literal.
void LzxCompressor::Parse(std::uint32_t begin, std::uint32_t end) {
  Found previous;
  bool pending = false;
  std::uint32_t position = begin;
  while (position < end) {
    Found current;
    if (end - position >= kHashMinMatch) {
      Insert(position);
      if (!(pending && previous.length >= kLazyLimit)) current = LongestMatch(position, end);
    }
    if (pending && previous.length >= kMinMatch && current.length <= previous.length) {
      AddMatch(previous);
      const std::uint32_t next = position - 1 + previous.length;
      for (std::uint32_t p = position + 1; p < next && end - p >= kHashMinMatch; ++p) Insert(p);
      position = next;
      pending = false;
      continue;
    }
    if (pending) tokens_.push_back({0, *at(position - 1)});
    previous = current;
    pending = true;
    ++position;
  }
  if (pending) tokens_.push_back({0, *at(position - 1)});
}

bool LzxCompressor::WriteVerbatim(std::span<std::byte> output, std::size_t max_size) {
  std::array<std::uint32_t, kMainCodes> main_frequencies{};
  std::array<std::uint32_t, kLengthCodes> length_frequencies{};
  std::size_t frame_size = 0;
  for (const Token& t : tokens_) {
    if (t.length == 0) {
      ++main_frequencies[t.value];
      ++frame_size;
      continue;
    }
    const std::uint32_t header = std::min<std::uint32_t>(t.length - kMinMatch, kPrimaryLengths);
    ++main_frequencies[kLiterals + 8 * SlotOf(t.value) + header];
    if (header == kPrimaryLengths) ++length_frequencies[t.length - kMinMatch - kPrimaryLengths];
    frame_size += t.length;
  }
  // A length tree is always sent whole, even when no match needs it.
  std::array<std::uint8_t, kMainCodes> main_lengths{};
  std::array<std::uint8_t, kLengthCodes> length_lengths{};
  BuildLzxLengths(main_frequencies, kMaxCodeBits, main_lengths);
  BuildLzxLengths(length_frequencies, kMaxCodeBits, length_lengths);
  std::array<std::uint16_t, kMainCodes> main_codes{};
  std::array<std::uint16_t, kLengthCodes> length_codes{};
  CanonicalCodes(main_lengths, main_codes);
  CanonicalCodes(length_lengths, length_codes);

  LzxBitWriter out(output);
  WriteBlockHeader(out, !started_, kBlockVerbatim, frame_size);
  WriteTree(out, std::span(main_lengths_).first(kLiterals),
            std::span(main_lengths).first(kLiterals));
  WriteTree(out, std::span(main_lengths_).subspan(kLiterals),
            std::span(main_lengths).subspan(kLiterals));
  WriteTree(out, length_lengths_, length_lengths);
  for (const Token& t : tokens_) {
    if (t.length == 0) {
      out.PutBits(main_codes[t.value], main_lengths[t.value]);
      continue;
    }
    const std::uint32_t header = std::min<std::uint32_t>(t.length - kMinMatch, kPrimaryLengths);
    const int slot = SlotOf(t.value);
    const int symbol = kLiterals + 8 * slot + static_cast<int>(header);
    out.PutBits(main_codes[symbol], main_lengths[symbol]);
    if (header == kPrimaryLengths) {
      const std::uint32_t extra = t.length - kMinMatch - kPrimaryLengths;
      out.PutBits(length_codes[extra], length_lengths[extra]);
    }
    if (kSlots.extra[slot] > 0) {
      out.PutLongBits(t.value - kSlots.base[slot], kSlots.extra[slot]);
    }
  }
  out.Align();
  if (out.overflowed() || out.bytes_written() > max_size) return false;
  verbatim_size_ = out.bytes_written();
  std::ranges::copy(main_lengths, main_lengths_.begin());
  std::ranges::copy(length_lengths, length_lengths_.begin());
  return true;
}

std::size_t LzxCompressor::WriteUncompressed(std::span<const std::byte> frame,
                                             std::span<std::byte> output) {
  LzxBitWriter out(output);
  WriteBlockHeader(out, !started_, kBlockUncompressed, frame.size());
  out.Align();  // the header is never a whole number of words, so this pads 1 to 15 bits
  for (const std::uint32_t offset : repeated_) {
    const std::array<std::uint8_t, 4> bytes = {
        static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(offset >> 8),
        static_cast<std::uint8_t>(offset >> 16), static_cast<std::uint8_t>(offset >> 24)};
    out.PutBytes(bytes);
  }
  out.PutBytes(std::span(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size()));
  if (frame.size() % 2 != 0) out.PutBytes(std::array<std::uint8_t, 1>{0});
  return out.overflowed() ? 0 : out.bytes_written();
}

std::size_t LzxCompressor::Compress(std::span<const std::byte> frame, std::span<std::byte> output) {
  Append(frame);
  const std::array<std::uint32_t, 3> repeated_before = repeated_;
  tokens_.clear();
  Parse(end_ - static_cast<std::uint32_t>(frame.size()), end_);
  // The uncompressed block: header and padding, three offsets, the bytes, an even end.
  const std::size_t stored_size = 4 + 12 + frame.size() + frame.size() % 2;
  std::size_t size = 0;
  if (WriteVerbatim(output, stored_size)) {
    size = verbatim_size_;
  } else {
    repeated_ = repeated_before;
    size = WriteUncompressed(frame, output);
  }
  started_ = true;
  return size;
}

}  // namespace kb::cabinet

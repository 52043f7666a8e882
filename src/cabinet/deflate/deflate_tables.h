#ifndef KITBINDER_CABINET_DEFLATE_DEFLATE_TABLES_H_
#define KITBINDER_CABINET_DEFLATE_DEFLATE_TABLES_H_

#include <array>
#include <cstdint>
#include <span>

// The fixed facts of the Deflate format (RFC 1951): alphabets, extra bits, base values, the
// order of the code-length code lengths and the fixed Huffman codes. All tables are built at
// compile time.
namespace kb::cabinet::deflate {

inline constexpr int kMinMatch = 3;
inline constexpr int kMaxMatch = 258;

inline constexpr int kEndOfBlock = 256;
inline constexpr int kFirstLengthCode = 257;
inline constexpr int kLengthCodes = 29;
inline constexpr int kLiteralLengthCodes = kFirstLengthCode + kLengthCodes;  // 286
inline constexpr int kFixedLiteralLengthCodes = 288;
inline constexpr int kDistanceCodes = 30;
inline constexpr int kCodeLengthCodes = 19;

inline constexpr int kMaxCodeBits = 15;
inline constexpr int kMaxCodeLengthCodeBits = 7;

// Code-length symbols for repeats: the previous length 3 to 6 times, zeros 3 to 10 times,
// zeros 11 to 138 times.
inline constexpr int kRepeatPrevious = 16;
inline constexpr int kRepeatZeros = 17;
inline constexpr int kRepeatManyZeros = 18;

inline constexpr std::array<std::uint8_t, kLengthCodes> kLengthExtraBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

inline constexpr std::array<std::uint8_t, kDistanceCodes> kDistanceExtraBits = {
    0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Extra bits of each code-length symbol.
inline constexpr std::array<std::uint8_t, kCodeLengthCodes> kCodeLengthExtraBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};

// The order in which a dynamic block header lists the code-length code lengths.
inline constexpr std::array<std::uint8_t, kCodeLengthCodes> kCodeLengthOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Smallest match length of each length code. The last code stands alone for 258, although
// the one before it could express 258 with its extra bits.
inline constexpr std::array<std::uint16_t, kLengthCodes> kBaseLength = [] {
  std::array<std::uint16_t, kLengthCodes> base{};
  int length = kMinMatch;
  for (int code = 0; code < kLengthCodes - 1; ++code) {
    base[code] = static_cast<std::uint16_t>(length);
    length += 1 << kLengthExtraBits[code];
  }
  base[kLengthCodes - 1] = kMaxMatch;
  return base;
}();

// Smallest distance of each distance code.
inline constexpr std::array<std::uint16_t, kDistanceCodes> kBaseDistance = [] {
  std::array<std::uint16_t, kDistanceCodes> base{};
  int distance = 1;
  for (int code = 0; code < kDistanceCodes; ++code) {
    base[code] = static_cast<std::uint16_t>(distance);
    distance += 1 << kDistanceExtraBits[code];
  }
  return base;
}();

// Length code (0 to 28) of each match length - 3.
inline constexpr std::array<std::uint8_t, 256> kLengthCodeTable = [] {
  std::array<std::uint8_t, 256> table{};
  for (int code = 0; code < kLengthCodes; ++code) {
    for (int extra = 0; extra < (1 << kLengthExtraBits[code]); ++extra) {
      const int index = kBaseLength[code] - kMinMatch + extra;
      if (index < 256) table[index] = static_cast<std::uint8_t>(code);
    }
  }
  return table;
}();

// Distance codes: distances - 1 below 256 directly, larger ones by (distance - 1) >> 7 in the
// upper half, where every code spans whole multiples of 128.
inline constexpr std::array<std::uint8_t, 512> kDistanceCodeTable = [] {
  std::array<std::uint8_t, 512> table{};
  for (int code = 0; code < kDistanceCodes; ++code) {
    const int first = kBaseDistance[code] - 1;
    const int last = first + (1 << kDistanceExtraBits[code]) - 1;
    for (int d = first; d <= last; d += d < 256 ? 1 : 128) {
      table[d < 256 ? d : 256 + (d >> 7)] = static_cast<std::uint8_t>(code);
    }
  }
  return table;
}();

// REQUIRES: kMinMatch <= length <= kMaxMatch.
constexpr int LengthCode(int length) {
  return kLengthCodeTable[length - kMinMatch];
}

// REQUIRES: 1 <= distance <= 32,768.
constexpr int DistanceCode(int distance) {
  const int d = distance - 1;
  return d < 256 ? kDistanceCodeTable[d] : kDistanceCodeTable[256 + (d >> 7)];
}

// A Huffman code word as it goes out: the code's bits reversed (Deflate sends Huffman codes
// most significant bit first into a least-significant-first bit stream) and its length.
struct CodeWord {
  std::uint16_t bits = 0;
  std::uint8_t length = 0;
};

// Gives every code its canonical code word (RFC 1951, 3.2.2) from the code lengths; codes of
// length 0 get none.
// REQUIRES: codes.size() >= lengths.size(); every length <= kMaxCodeBits.
constexpr void AssignCanonicalCodes(std::span<const std::uint8_t> lengths,
                                    std::span<CodeWord> codes) {
  std::array<int, kMaxCodeBits + 1> count{};
  for (std::uint8_t length : lengths) ++count[length];
  count[0] = 0;
  std::array<int, kMaxCodeBits + 1> next{};
  for (int bits = 1, code = 0; bits <= kMaxCodeBits; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  for (std::size_t n = 0; n < lengths.size(); ++n) {
    const int length = lengths[n];
    int code = length == 0 ? 0 : next[length]++;
    int reversed = 0;
    for (int i = 0; i < length; ++i, code >>= 1) reversed = (reversed << 1) | (code & 1);
    codes[n] = {static_cast<std::uint16_t>(reversed), static_cast<std::uint8_t>(length)};
  }
}

inline constexpr std::array<std::uint8_t, kFixedLiteralLengthCodes> kFixedLiteralLengthLengths =
    [] {
      std::array<std::uint8_t, kFixedLiteralLengthCodes> lengths{};
      for (int n = 0; n < kFixedLiteralLengthCodes; ++n) {
        lengths[n] = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
      }
      return lengths;
    }();

inline constexpr std::array<std::uint8_t, kDistanceCodes> kFixedDistanceLengths = [] {
  std::array<std::uint8_t, kDistanceCodes> lengths{};
  lengths.fill(5);
  return lengths;
}();

inline constexpr std::array<CodeWord, kFixedLiteralLengthCodes> kFixedLiteralLengthCodeWords = [] {
  std::array<CodeWord, kFixedLiteralLengthCodes> codes{};
  AssignCanonicalCodes(kFixedLiteralLengthLengths, codes);
  return codes;
}();

inline constexpr std::array<CodeWord, kDistanceCodes> kFixedDistanceCodeWords = [] {
  std::array<CodeWord, kDistanceCodes> codes{};
  AssignCanonicalCodes(kFixedDistanceLengths, codes);
  return codes;
}();

}  // namespace kb::cabinet::deflate

#endif  // KITBINDER_CABINET_DEFLATE_DEFLATE_TABLES_H_

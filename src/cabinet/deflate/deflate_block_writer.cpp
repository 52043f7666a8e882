#include "cabinet/deflate/deflate_block_writer.h"

#include <algorithm>

namespace kb::cabinet {
namespace {

// Bits the given frequencies take with the given code lengths, extra bits included; codes
// from `first_extra` on carry extra_bits[code - first_extra] extra bits.
std::uint32_t CodedBits(std::span<const std::uint32_t> frequencies,
                        std::span<const std::uint8_t> lengths,
                        std::span<const std::uint8_t> extra_bits, std::size_t first_extra) {
  std::uint32_t bits = 0;
  for (std::size_t code = 0; code < frequencies.size(); ++code) {
    const std::uint32_t extra = code < first_extra ? 0 : extra_bits[code - first_extra];
    bits += frequencies[code] * (lengths[code] + extra);
  }
  return bits;
}

std::uint32_t LiteralLengthBits(const BlockTally& tally, std::span<const std::uint8_t> lengths) {
  return CodedBits(tally.literal_length_frequencies(), lengths, deflate::kLengthExtraBits,
                   deflate::kFirstLengthCode);
}

std::uint32_t DistanceBits(const BlockTally& tally, std::span<const std::uint8_t> lengths) {
  return CodedBits(tally.distance_frequencies(), lengths, deflate::kDistanceExtraBits, 0);
}

// Whole bytes a Huffman-coded block takes: its symbols plus the 3 block header bits.
std::uint32_t BlockBytes(std::uint32_t bits) {
  return (bits + 3 + 7) / 8;
}

void Put(const deflate::CodeWord& code, BitWriter& out) {
  out.PutBits(code.bits, code.length);
}

}  // namespace

void DeflateBlockWriter::Write(const BlockTally& tally, std::span<const std::uint8_t> input,
                               bool final, BitWriter& out) {
  const std::uint32_t dynamic_bits = BuildDynamicTrees(tally);
  const BlockType type = ChooseType(tally, dynamic_bits, input.size());
  out.PutBits(static_cast<std::uint32_t>(type) << 1 | (final ? 1 : 0), 3);
  switch (type) {
    case BlockType::kStored:
      WriteStored(input, out);
      break;
    case BlockType::kFixed:
      WriteSymbols(tally, deflate::kFixedLiteralLengthCodeWords, deflate::kFixedDistanceCodeWords,
                   out);
      break;
    case BlockType::kDynamic:
      WriteDynamicHeader(out);
      WriteSymbols(tally, literal_codes_, distance_codes_, out);
      break;
  }
  if (final) out.AlignToByte();
}

std::uint32_t DeflateBlockWriter::BuildDynamicTrees(const BlockTally& tally) {
  max_literal_code_ =
      builder_.Build(tally.literal_length_frequencies(), deflate::kMaxCodeBits, literal_lengths_);
  max_distance_code_ =
      builder_.Build(tally.distance_frequencies(), deflate::kMaxCodeBits, distance_lengths_);
  AssignCanonicalCodes(literal_lengths_, literal_codes_);
  AssignCanonicalCodes(distance_lengths_, distance_codes_);

  runs_.Clear();
  runs_.Append(std::span(literal_lengths_).first(max_literal_code_ + 1));
  runs_.Append(std::span(distance_lengths_).first(max_distance_code_ + 1));
  code_length_frequencies_.fill(0);
  for (const CodeLengthSymbol& run : runs_.symbols()) ++code_length_frequencies_[run.symbol];
  builder_.Build(code_length_frequencies_, deflate::kMaxCodeLengthCodeBits, code_length_lengths_);
  AssignCanonicalCodes(code_length_lengths_, code_length_codes_);

  // The header lists code-length code lengths in a fixed order; trailing zeros are left off.
  code_length_count_ = deflate::kCodeLengthCodes;
  while (code_length_count_ > 4 &&
         code_length_lengths_[deflate::kCodeLengthOrder[code_length_count_ - 1]] == 0) {
    --code_length_count_;
  }
  const std::uint32_t header_bits = 5 + 5 + 4 + 3 * code_length_count_;
  return LiteralLengthBits(tally, literal_lengths_) + DistanceBits(tally, distance_lengths_) +
         CodedBits(code_length_frequencies_, code_length_lengths_, deflate::kCodeLengthExtraBits,
                   0) +
         header_bits;
}

// Stored wins when its bytes (4 for the lengths) are no more than the smaller Huffman block;
// fixed wins ties with dynamic.
DeflateBlockWriter::BlockType DeflateBlockWriter::ChooseType(const BlockTally& tally,
                                                             std::uint32_t dynamic_bits,
                                                             std::size_t input_size) const {
  const std::uint32_t fixed_bits = LiteralLengthBits(tally, deflate::kFixedLiteralLengthLengths) +
                                   DistanceBits(tally, deflate::kFixedDistanceLengths);
  const std::uint32_t dynamic_bytes = BlockBytes(dynamic_bits);
  const std::uint32_t fixed_bytes = BlockBytes(fixed_bits);
  const std::uint32_t best_bytes = std::min(dynamic_bytes, fixed_bytes);
  if (input_size + 4 <= best_bytes) return BlockType::kStored;
  return fixed_bytes == best_bytes ? BlockType::kFixed : BlockType::kDynamic;
}

void DeflateBlockWriter::WriteStored(std::span<const std::uint8_t> input, BitWriter& out) const {
  const auto length = static_cast<std::uint32_t>(input.size());
  out.AlignToByte();
  out.PutBits(length, 16);
  out.PutBits(~length & 0xFFFF, 16);
  out.PutBytes(input);
}

void DeflateBlockWriter::WriteDynamicHeader(BitWriter& out) const {
  out.PutBits(max_literal_code_ + 1 - deflate::kFirstLengthCode, 5);
  out.PutBits(max_distance_code_, 5);
  out.PutBits(code_length_count_ - 4, 4);
  for (int i = 0; i < code_length_count_; ++i) {
    out.PutBits(code_length_lengths_[deflate::kCodeLengthOrder[i]], 3);
  }
  for (const CodeLengthSymbol& run : runs_.symbols()) {
    Put(code_length_codes_[run.symbol], out);
    const int extra_bits = deflate::kCodeLengthExtraBits[run.symbol];
    if (extra_bits > 0) out.PutBits(run.extra, extra_bits);
  }
}

void DeflateBlockWriter::WriteSymbols(const BlockTally& tally,
                                      std::span<const deflate::CodeWord> literals,
                                      std::span<const deflate::CodeWord> distances,
                                      BitWriter& out) {
  std::size_t matches = 0;
  for (std::size_t i = 0; i < tally.size(); ++i) {
    const int symbol = tally.symbol(i);
    if (!tally.IsMatch(i)) {
      Put(literals[symbol], out);
      continue;
    }
    const int length_code = deflate::kLengthCodeTable[symbol];
    const deflate::CodeWord& length = literals[deflate::kFirstLengthCode + length_code];
    const int length_extra = symbol + deflate::kMinMatch - deflate::kBaseLength[length_code];
    out.PutBits(length.bits | length_extra << length.length,
                length.length + deflate::kLengthExtraBits[length_code]);

    const int distance = tally.distance(matches++) + 1;
    const int distance_code = deflate::DistanceCode(distance);
    const deflate::CodeWord& code = distances[distance_code];
    const int distance_extra = distance - deflate::kBaseDistance[distance_code];
    out.PutBits(code.bits | distance_extra << code.length,
                code.length + deflate::kDistanceExtraBits[distance_code]);
  }
  Put(literals[deflate::kEndOfBlock], out);
}

}  // namespace kb::cabinet

#ifndef KITBINDER_CABINET_DEFLATE_DEFLATE_BLOCK_WRITER_H_
#define KITBINDER_CABINET_DEFLATE_DEFLATE_BLOCK_WRITER_H_

#include <array>
#include <cstdint>
#include <span>

#include "cabinet/deflate/bit_writer.h"
#include "cabinet/deflate/block_tally.h"
#include "cabinet/deflate/code_length_runs.h"
#include "cabinet/deflate/deflate_tables.h"
#include "cabinet/deflate/huffman_builder.h"

namespace kb::cabinet {

// Writes one Deflate block from a tally, as whichever of the three block types comes out
// smallest: stored, fixed Huffman codes, or dynamic Huffman codes made for the block. Holds
// the trees and their work space, so writing allocates nothing.
class DeflateBlockWriter {
 public:
  // Writes the block holding `tally`'s symbols, which code `input` (the block's bytes, used
  // when the block is stored); `final` sets the final-block bit and pads the stream to a byte.
  void Write(const BlockTally& tally, std::span<const std::uint8_t> input, bool final,
             BitWriter& out);

 private:
  enum class BlockType : std::uint32_t { kStored = 0, kFixed = 1, kDynamic = 2 };

  // Builds the dynamic trees; returns their cost in bits, block header included.
  std::uint32_t BuildDynamicTrees(const BlockTally& tally);
  BlockType ChooseType(const BlockTally& tally, std::uint32_t dynamic_bits,
                       std::size_t input_size) const;
  void WriteStored(std::span<const std::uint8_t> input, BitWriter& out) const;
  void WriteDynamicHeader(BitWriter& out) const;
  static void WriteSymbols(const BlockTally& tally, std::span<const deflate::CodeWord> literals,
                           std::span<const deflate::CodeWord> distances, BitWriter& out);

  HuffmanBuilder builder_;
  std::array<std::uint8_t, deflate::kLiteralLengthCodes> literal_lengths_{};
  std::array<std::uint8_t, deflate::kDistanceCodes> distance_lengths_{};
  std::array<std::uint8_t, deflate::kCodeLengthCodes> code_length_lengths_{};
  std::array<deflate::CodeWord, deflate::kLiteralLengthCodes> literal_codes_{};
  std::array<deflate::CodeWord, deflate::kDistanceCodes> distance_codes_{};
  std::array<deflate::CodeWord, deflate::kCodeLengthCodes> code_length_codes_{};
  std::array<std::uint32_t, deflate::kCodeLengthCodes> code_length_frequencies_{};
  CodeLengthRuns runs_;
  int max_literal_code_ = 0;
  int max_distance_code_ = 0;
  int code_length_count_ = 0;  // code-length code lengths the header sends
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_DEFLATE_DEFLATE_BLOCK_WRITER_H_

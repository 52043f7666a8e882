#ifndef KITBINDER_CABINET_DEFLATE_HUFFMAN_BUILDER_H_
#define KITBINDER_CABINET_DEFLATE_HUFFMAN_BUILDER_H_

#include <array>
#include <cstdint>
#include <span>

#include "cabinet/deflate/deflate_tables.h"

namespace kb::cabinet {

// Builds length-limited Huffman code lengths from symbol frequencies. Holds its work space, so
// building allocates nothing; one builder serves any number of trees in turn.
class HuffmanBuilder {
 public:
  // The largest alphabet the builder takes: the Deflate literal/length codes.
  static constexpr int kMaxCodes = deflate::kLiteralLengthCodes;

  // Fills `lengths` with a code length for every code of `frequencies`, none longer than
  // `max_bits`; codes of frequency 0 get length 0. A Deflate code needs two codes, so when
  // fewer than two have a frequency, codes are added with frequency 1: the next code after the
  // largest used one while that is below 2 (code 0 when none is used), else code 0.
  // Returns the largest code with a non-zero length, added codes included.
  // REQUIRES: lengths.size() == frequencies.size() <= kMaxCodes; 2^max_bits >= that size;
  // max_bits <= deflate::kMaxCodeBits.
  int Build(std::span<const std::uint32_t> frequencies, int max_bits,
            std::span<std::uint8_t> lengths);

 private:
  static constexpr int kMaxNodes = 2 * kMaxCodes - 1;

  int FillHeap(std::span<const std::uint32_t> frequencies);
  void CombineNodes(int code_count);
  bool Smaller(int a, int b) const;
  void SiftDown(int slot);
  void AssignDepthLengths(int code_count, int max_bits, std::span<std::uint8_t> lengths);
  void LimitLengths(int code_count, int max_bits, std::span<std::uint8_t> lengths);

  std::array<std::uint32_t, kMaxNodes> weight_{};
  std::array<std::uint16_t, kMaxNodes> parent_{};
  std::array<std::uint16_t, kMaxNodes> depth_{};     // height of a node's subtree
  std::array<std::uint8_t, kMaxNodes> node_bits_{};  // distance from the root, capped
  std::array<std::uint16_t, kMaxCodes + 1> heap_{};  // min-heap in slots 1..heap_size_
  int heap_size_ = 0;
  // Nodes in the order they left the heap: least frequent first, the root last.
  std::array<std::uint16_t, kMaxNodes> order_{};
  int order_size_ = 0;
  int overflow_ = 0;  // nodes that had to be cut to max_bits
  std::array<int, deflate::kMaxCodeBits + 1> codes_per_length_{};
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_DEFLATE_HUFFMAN_BUILDER_H_

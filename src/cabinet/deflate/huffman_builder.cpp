#include "cabinet/deflate/huffman_builder.h"

#include <algorithm>
#include <utility>

namespace kb::cabinet {

int HuffmanBuilder::Build(std::span<const std::uint32_t> frequencies, int max_bits,
                          std::span<std::uint8_t> lengths) {
  const int code_count = static_cast<int>(frequencies.size());
  const int max_code = FillHeap(frequencies);
  CombineNodes(code_count);
  std::fill(lengths.begin(), lengths.end(), std::uint8_t{0});
  AssignDepthLengths(code_count, max_bits, lengths);
  if (overflow_ > 0) LimitLengths(code_count, max_bits, lengths);
  return max_code;
}

int HuffmanBuilder::FillHeap(std::span<const std::uint32_t> frequencies) {
  heap_size_ = 0;
  int max_code = -1;
  for (int code = 0; code < static_cast<int>(frequencies.size()); ++code) {
    if (frequencies[code] == 0) continue;
    heap_[++heap_size_] = static_cast<std::uint16_t>(code);
    weight_[code] = frequencies[code];
    depth_[code] = 0;
    max_code = code;
  }
  while (heap_size_ < 2) {
    const int forced = max_code < 2 ? ++max_code : 0;
    heap_[++heap_size_] = static_cast<std::uint16_t>(forced);
    weight_[forced] = 1;
    depth_[forced] = 0;
  }
  for (int slot = heap_size_ / 2; slot >= 1; --slot) SiftDown(slot);
  return max_code;
}

// Joins the two lightest nodes under a new parent until one tree remains.
void HuffmanBuilder::CombineNodes(int code_count) {
  order_size_ = 0;
  int next_node = code_count;
  while (heap_size_ >= 2) {
    const int lightest = heap_[1];
    heap_[1] = heap_[heap_size_--];
    SiftDown(1);
    const int second = heap_[1];
    order_[order_size_++] = static_cast<std::uint16_t>(lightest);
    order_[order_size_++] = static_cast<std::uint16_t>(second);
    const int node = next_node++;
    weight_[node] = weight_[lightest] + weight_[second];
    depth_[node] = static_cast<std::uint16_t>(std::max(depth_[lightest], depth_[second]) + 1);
    parent_[lightest] = parent_[second] = static_cast<std::uint16_t>(node);
    heap_[1] = static_cast<std::uint16_t>(node);
    SiftDown(1);
  }
  order_[order_size_++] = heap_[1];
}

// Equal weights go to the shallower subtree first, which keeps the code lengths short.
bool HuffmanBuilder::Smaller(int a, int b) const {
  return weight_[a] < weight_[b] || (weight_[a] == weight_[b] && depth_[a] < depth_[b]);
}

void HuffmanBuilder::SiftDown(int slot) {
  const std::uint16_t node = heap_[slot];
  for (int child = 2 * slot; child <= heap_size_; slot = child, child = 2 * slot) {
    if (child < heap_size_ && Smaller(heap_[child + 1], heap_[child])) ++child;
    if (!Smaller(heap_[child], node)) break;
    heap_[slot] = heap_[child];
  }
  heap_[slot] = node;
}

// Gives every node its distance from the root, cut to max_bits; counts the cut nodes.
void HuffmanBuilder::AssignDepthLengths(int code_count, int max_bits,
                                        std::span<std::uint8_t> lengths) {
  codes_per_length_.fill(0);
  overflow_ = 0;
  node_bits_[order_[order_size_ - 1]] = 0;
  for (int i = order_size_ - 2; i >= 0; --i) {
    const int node = order_[i];
    int bits = node_bits_[parent_[node]] + 1;
    if (bits > max_bits) {
      bits = max_bits;
      ++overflow_;
    }
    node_bits_[node] = static_cast<std::uint8_t>(bits);
    if (node >= code_count) continue;
    lengths[node] = static_cast<std::uint8_t>(bits);
    ++codes_per_length_[bits];
  }
}

// Repairs a tree that had codes longer than max_bits. Every subtree hanging below max_bits
// with k leaves was cut to k leaves at max_bits, k - 1 too many, and counted 2k - 2 cut nodes;
// so each step, which frees one place at max_bits, pays off two. A step moves a leaf of the
// deepest shorter length down one level and puts a cut leaf beside it. Then the lengths go
// out again, longest to the least frequent codes.
void HuffmanBuilder::LimitLengths(int code_count, int max_bits, std::span<std::uint8_t> lengths) {
  for (; overflow_ > 0; overflow_ -= 2) {
    int bits = max_bits - 1;
    while (codes_per_length_[bits] == 0) --bits;
    --codes_per_length_[bits];
    codes_per_length_[bits + 1] += 2;
    --codes_per_length_[max_bits];
  }
  int i = 0;
  for (int bits = max_bits; bits > 0; --bits) {
    for (int n = codes_per_length_[bits]; n > 0; ++i) {
      const int node = order_[i];
      if (node >= code_count) continue;
      lengths[node] = static_cast<std::uint8_t>(bits);
      --n;
    }
  }
}

}  // namespace kb::cabinet

#include "cabinet/lzx/lzx_huffman.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <utility>
#include <vector>

namespace kb::cabinet {
namespace {

// Plain Huffman lengths, unlimited; returns the longest.
int HuffmanLengths(const std::vector<std::uint32_t>& weights, std::span<std::uint8_t> lengths) {
  using Node = std::pair<std::uint64_t, int>;  // weight, node index
  std::priority_queue<Node, std::vector<Node>, std::greater<>> heap;
  std::vector<int> parent(2 * weights.size(), -1);
  int next = static_cast<int>(weights.size());
  for (std::size_t i = 0; i < weights.size(); ++i) {
    if (weights[i] != 0) heap.emplace(weights[i], static_cast<int>(i));
  }
  while (heap.size() > 1) {
    const Node a = heap.top();
    heap.pop();
    const Node b = heap.top();
    heap.pop();
    parent[static_cast<std::size_t>(a.second)] = next;
    parent[static_cast<std::size_t>(b.second)] = next;
    heap.emplace(a.first + b.first, next++);
  }
  int longest = 0;
  for (std::size_t i = 0; i < weights.size(); ++i) {
    int depth = 0;
    if (weights[i] != 0) {
      for (int node = static_cast<int>(i); parent[static_cast<std::size_t>(node)] >= 0;
           node = parent[static_cast<std::size_t>(node)]) {
        ++depth;
      }
    }
    lengths[i] = static_cast<std::uint8_t>(depth);
    longest = std::max(longest, depth);
  }
  return longest;
}

}  // namespace

void BuildLzxLengths(std::span<const std::uint32_t> frequencies, int max_bits,
                     std::span<std::uint8_t> lengths) {
  std::vector<std::uint32_t> weights(frequencies.begin(), frequencies.end());
  int used = static_cast<int>(std::ranges::count_if(weights, [](std::uint32_t w) { return w; }));
  for (std::size_t i = 0; i < weights.size() && used < 2; ++i) {
    if (weights[i] == 0) {
      weights[i] = 1;
      ++used;
    }
  }
  while (HuffmanLengths(weights, lengths) > max_bits) {
    for (std::uint32_t& w : weights) {
      if (w != 0) w = (w >> 1) | 1;
    }
  }
}

void CanonicalCodes(std::span<const std::uint8_t> lengths, std::span<std::uint16_t> codes) {
  std::uint32_t code = 0;
  for (int length = 1; length <= 16; ++length) {
    for (std::size_t i = 0; i < lengths.size(); ++i) {
      if (lengths[i] == length) codes[i] = static_cast<std::uint16_t>(code++);
    }
    code <<= 1;
  }
}

}  // namespace kb::cabinet

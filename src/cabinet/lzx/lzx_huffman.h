#ifndef KITBINDER_CABINET_LZX_LZX_HUFFMAN_H_
#define KITBINDER_CABINET_LZX_LZX_HUFFMAN_H_

#include <cstdint>
#include <span>

namespace kb::cabinet {

// Fills `lengths` with Huffman code lengths for `frequencies`, none longer than `max_bits`.
// LZX readers want complete codes, so when fewer than two symbols occur, the first two that do
// not are given frequency 1. Length-limiting halves the frequencies (keeping them non-zero)
// until the tree fits: simple, and rarely needed at 16 bits.
// REQUIRES: lengths.size() == frequencies.size() >= 2; 2^max_bits >= that size.
void BuildLzxLengths(std::span<const std::uint32_t> frequencies, int max_bits,
                     std::span<std::uint8_t> lengths);

// Canonical codes for `lengths`: shorter codes first, equal lengths in symbol order.
void CanonicalCodes(std::span<const std::uint8_t> lengths, std::span<std::uint16_t> codes);

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_LZX_LZX_HUFFMAN_H_

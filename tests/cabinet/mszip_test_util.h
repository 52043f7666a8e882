#ifndef KITBINDER_TESTS_CABINET_MSZIP_TEST_UTIL_H_
#define KITBINDER_TESTS_CABINET_MSZIP_TEST_UTIL_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "cabinet/deflate/mszip_compressor.h"

namespace kb::cabinet::test {

using Bytes = std::vector<std::uint8_t>;

// A compressor with the cabinet writer's block size; fails the test if Create fails.
std::unique_ptr<MszipCompressor> MakeCompressor(MszipLevel level = MszipLevel::kBest);

// Compresses one block with the writer's output capacity; fails the test on a non-zero result.
Bytes CompressBlock(MszipCompressor& compressor, std::span<const std::uint8_t> input);

// Decodes an MSZIP block with zlib: checks "CK", then inflates the raw Deflate stream with
// `dictionary` as the preceding data. Nullopt when zlib rejects it or leaves bytes unread.
std::optional<Bytes> ZlibInflate(std::span<const std::uint8_t> block,
                                 std::span<const std::uint8_t> dictionary = {});

// Bytes below `alphabet` in which no three consecutive bytes occur twice, so nothing in them
// can be matched. A small alphabet makes them compressible by Huffman coding alone.
Bytes UnrepeatedBytes(std::size_t size, std::uint32_t seed, int alphabet = 256);

// English-like text made of words from a small fixed list.
Bytes WordText(std::size_t size, std::uint32_t seed);

}  // namespace kb::cabinet::test

#endif  // KITBINDER_TESTS_CABINET_MSZIP_TEST_UTIL_H_

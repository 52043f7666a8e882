#ifndef KITBINDER_TESTS_TEST_SUPPORT_DEFLATE_READER_H_
#define KITBINDER_TESTS_TEST_SUPPORT_DEFLATE_READER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kb::test {

// One coded symbol of a Deflate block: a literal byte, or a match of `length` bytes
// `distance` back. `offset` is where its bytes land in the decoded output.
struct DeflateSymbol {
  std::size_t offset = 0;
  int literal = -1;  // -1 for a match
  int length = 0;
  int distance = 0;
};

struct DeflateBlock {
  int type = 0;  // 0 stored, 1 fixed, 2 dynamic
  bool final = false;
  std::vector<DeflateSymbol> symbols;  // not for stored blocks; the end code is left out
  std::size_t stored_size = 0;
};

struct DeflateStream {
  std::vector<DeflateBlock> blocks;
  std::vector<std::uint8_t> output;
  std::size_t bytes_read = 0;  // through the padding of the last byte
};

// Decodes a raw Deflate stream (RFC 1951) symbol by symbol, to inspect what an encoder
// chose. Matches may reach back into `history`, the data before the stream. Returns nullopt
// for a malformed stream or one that ends before its final block does.
std::optional<DeflateStream> ReadDeflate(std::span<const std::uint8_t> data,
                                         std::span<const std::uint8_t> history = {});

}  // namespace kb::test

#endif  // KITBINDER_TESTS_TEST_SUPPORT_DEFLATE_READER_H_

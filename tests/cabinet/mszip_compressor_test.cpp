#include "cabinet/deflate/mszip_compressor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "cabinet/mszip_test_util.h"
#include "test_support/deflate_reader.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

// The address sanitizer calls this on every allocation.
extern "C" void __sanitizer_malloc_hook(const volatile void*, std::size_t) {
  ++allocations;
}

namespace kb::cabinet::test {
namespace {

using kb::test::DeflateStream;
using kb::test::ReadDeflate;

// Reads the Deflate stream of an MSZIP block, checking that zlib decodes it to `expected`.
DeflateStream ReadChecked(const Bytes& block, const Bytes& expected, const Bytes& history = {}) {
  EXPECT_EQ(ZlibInflate(block, history), expected);
  auto stream = ReadDeflate(std::span(block).subspan(2), history);
  EXPECT_TRUE(stream.has_value());
  if (!stream) return {};
  EXPECT_EQ(stream->bytes_read, block.size() - 2);
  return *std::move(stream);
}

TEST(MszipCompressorTest, EmptyInputIsAFinalFixedBlockHoldingOnlyTheEndCode) {
  auto compressor = MakeCompressor();
  EXPECT_EQ(CompressBlock(*compressor, {}), (Bytes{0x43, 0x4B, 0x03, 0x00}));
}

TEST(MszipCompressorTest, IncompressibleBlockIsStoredUpToTheTallyLimitThenFixed) {
  auto compressor = MakeCompressor();
  const Bytes input = UnrepeatedBytes(32768, 1);
  const Bytes block = CompressBlock(*compressor, input);
  EXPECT_EQ(block.size(), 32777u);
  const DeflateStream stream = ReadChecked(block, input);
  ASSERT_EQ(stream.blocks.size(), 2u);
  EXPECT_EQ(stream.blocks[0].type, 0);
  EXPECT_FALSE(stream.blocks[0].final);
  EXPECT_EQ(stream.blocks[0].stored_size, 32767u);
  EXPECT_EQ(stream.blocks[1].type, 1);
  EXPECT_TRUE(stream.blocks[1].final);
  ASSERT_EQ(stream.blocks[1].symbols.size(), 1u);
  EXPECT_EQ(stream.blocks[1].symbols[0].literal, input.back());
}

TEST(MszipCompressorTest, ZerosCodeAsLiteralsAroundLongestMatchesOneBack) {
  auto compressor = MakeCompressor();
  const Bytes input(32768, 0);
  const Bytes block = CompressBlock(*compressor, input);
  EXPECT_LT(block.size(), 64u);
  const DeflateStream stream = ReadChecked(block, input);
  ASSERT_EQ(stream.blocks.size(), 1u);
  const auto& symbols = stream.blocks[0].symbols;
  // The last byte has too few after it to start a match.
  ASSERT_EQ(symbols.size(), 129u);
  EXPECT_EQ(symbols.front().literal, 0);
  EXPECT_EQ(symbols.back().literal, 0);
  for (std::size_t i = 1; i + 1 < symbols.size(); ++i) {
    EXPECT_EQ(symbols[i].distance, 1);
    EXPECT_EQ(symbols[i].length, 258);
  }
}

TEST(MszipCompressorTest, ShortTextGetsFixedCodesAndLongTextDynamicCodes) {
  auto compressor = MakeCompressor();
  const Bytes short_text = WordText(60, 2);
  EXPECT_EQ(ReadChecked(CompressBlock(*compressor, short_text), short_text).blocks[0].type, 1);
  const Bytes long_text = WordText(20000, 3);
  const DeflateStream stream = ReadChecked(CompressBlock(*compressor, long_text), long_text);
  ASSERT_FALSE(stream.blocks.empty());
  EXPECT_EQ(stream.blocks[0].type, 2);
}

// Places a copy of `size` bytes from `from` at `to`.
void CopyWithin(Bytes& data, std::size_t from, std::size_t to, std::size_t size) {
  std::copy_n(data.begin() + from, size, data.begin() + to);
}

// The symbols that code bytes [begin, end).
std::vector<kb::test::DeflateSymbol> SymbolsWithin(const DeflateStream& stream, std::size_t begin,
                                                   std::size_t end) {
  std::vector<kb::test::DeflateSymbol> found;
  for (const auto& block : stream.blocks) {
    for (const auto& symbol : block.symbols) {
      if (symbol.offset < end && begin < symbol.offset + std::max(symbol.length, 1)) {
        found.push_back(symbol);
      }
    }
  }
  return found;
}

bool AllLiterals(const std::vector<kb::test::DeflateSymbol>& symbols) {
  return std::all_of(symbols.begin(), symbols.end(), [](const auto& s) { return s.length == 0; });
}

bool AnyMatchAt(const std::vector<kb::test::DeflateSymbol>& symbols, int distance) {
  return std::any_of(symbols.begin(), symbols.end(),
                     [distance](const auto& s) { return s.distance == distance; });
}

TEST(MszipCompressorTest, MatchesKeepToTheirReachAndLengthRules) {
  // Two full blocks of otherwise unmatchable bytes, with planted repeats.
  Bytes data = UnrepeatedBytes(65536, 4, 64);
  CopyWithin(data, 32768 - 32506, 32768, 40);        // 32,506 back: reachable
  CopyWithin(data, 33768 - 32507, 33768, 40);        // 32,507 back: too far
  CopyWithin(data, 40000 - 4096, 40000, 3);          // 3 bytes 4,096 back: worth a match
  CopyWithin(data, 41000 - 4097, 41000, 3);          // 3 bytes 4,097 back: not worth it
  CopyWithin(data, 65536 - 4 - 1000, 65536 - 4, 4);  // may start 4 bytes before the end
  const Bytes first(data.begin(), data.begin() + 32768);
  const Bytes second(data.begin() + 32768, data.end());
  // The planted 3-byte repeats must not grow to 4 bytes by chance.
  ASSERT_NE(second[7232 - 1], second[7232 - 4096 - 1]);
  ASSERT_NE(second[7232 + 3], second[7232 - 4096 + 3]);
  ASSERT_NE(second[8232 - 1], second[8232 - 4097 - 1]);
  ASSERT_NE(second[8232 + 3], second[8232 - 4097 + 3]);

  auto compressor = MakeCompressor();
  CompressBlock(*compressor, first);
  const DeflateStream stream = ReadChecked(CompressBlock(*compressor, second), second, first);
  ASSERT_EQ(stream.blocks[0].type, 2);
  EXPECT_TRUE(AnyMatchAt(SymbolsWithin(stream, 0, 40), 32506));
  EXPECT_TRUE(AllLiterals(SymbolsWithin(stream, 1000, 1040)));
  EXPECT_TRUE(AnyMatchAt(SymbolsWithin(stream, 7232, 7235), 4096));
  EXPECT_TRUE(AllLiterals(SymbolsWithin(stream, 8232, 8235)));
  const auto last = SymbolsWithin(stream, 32764, 32768);
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last[0].length, 4);

  // The last three positions start no match, although a 3-byte repeat is near.
  Bytes tail = second;
  CopyWithin(tail, 30000, 32765, 3);
  ASSERT_NE(tail[29999], tail[32764]);
  const DeflateStream tail_stream = ReadChecked(CompressBlock(*compressor, tail), tail, second);
  EXPECT_TRUE(AllLiterals(SymbolsWithin(tail_stream, 32765, 32768)));
}

TEST(MszipCompressorTest, FullBlockLendsHistoryUntilResetOrAShortBlock) {
  const Bytes first = WordText(32768, 5);
  const Bytes repeat(first.begin() + 12000, first.begin() + 30000);
  auto fresh = MakeCompressor();
  const Bytes alone = CompressBlock(*fresh, repeat);

  auto compressor = MakeCompressor();
  CompressBlock(*compressor, first);
  const Bytes with_history = CompressBlock(*compressor, repeat);
  EXPECT_LT(with_history.size(), alone.size() / 10);
  const DeflateStream stream = ReadChecked(with_history, repeat, first);
  ASSERT_FALSE(stream.blocks[0].symbols.empty());
  EXPECT_EQ(stream.blocks[0].symbols[0].distance, 32768 - 12000);

  CompressBlock(*compressor, first);
  EXPECT_EQ(compressor->Reset(), MszipResult::kOk);
  EXPECT_EQ(CompressBlock(*compressor, repeat), alone);

  // `repeat` is short, so it lends no history either.
  CompressBlock(*compressor, first);
  CompressBlock(*compressor, repeat);
  EXPECT_EQ(CompressBlock(*compressor, repeat), alone);
}

TEST(MszipCompressorTest, CreateSizesTheBlockAndItsOutput) {
  for (const std::size_t requested : {0u, 32768u, 40000u}) {
    std::unique_ptr<MszipCompressor> compressor;
    std::size_t capacity = 0;
    ASSERT_EQ(MszipCompressor::Create(requested, &compressor, &capacity), MszipResult::kOk);
    EXPECT_EQ(compressor->block_size(), 32768u);
    EXPECT_EQ(capacity, 32780u);
  }
  std::unique_ptr<MszipCompressor> small;
  std::size_t capacity = 0;
  ASSERT_EQ(MszipCompressor::Create(100, &small, &capacity), MszipResult::kOk);
  EXPECT_EQ(capacity, 112u);
  const Bytes input = UnrepeatedBytes(100, 6);
  EXPECT_EQ(ZlibInflate(CompressBlock(*small, input)), input);
}

TEST(MszipCompressorTest, RefusesOversizedInputAndShortOutputWithoutSideEffects) {
  const Bytes first = WordText(32768, 7);
  const Bytes second = WordText(32768, 8);
  auto reference = MakeCompressor();
  CompressBlock(*reference, first);
  const Bytes expected = CompressBlock(*reference, second);

  auto compressor = MakeCompressor();
  CompressBlock(*compressor, first);
  Bytes out(32780, 0xEE);
  std::uint16_t size = 7;
  const Bytes oversized(32769, 'x');
  EXPECT_EQ(compressor->Compress(std::as_bytes(std::span(oversized)),
                                 std::as_writable_bytes(std::span(out)), &size),
            MszipResult::kBadArgument);
  EXPECT_EQ(compressor->Compress(std::as_bytes(std::span(second)),
                                 std::as_writable_bytes(std::span(out).first(32779)), &size),
            MszipResult::kBadArgument);
  EXPECT_EQ(size, 7);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::uint8_t b) { return b == 0xEE; }));
  // Only a full block can be history.
  EXPECT_EQ(compressor->Prime(std::as_bytes(std::span(second).first(32767))),
            MszipResult::kBadArgument);
  // The refused calls left the history alone.
  EXPECT_EQ(CompressBlock(*compressor, second), expected);
}

TEST(MszipCompressorTest, CompressResetAndPrimeAllocateNothing) {
#ifndef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "allocations are counted through the address sanitizer";
#endif
  const Bytes text = WordText(32768, 9);
  const Bytes noise = UnrepeatedBytes(32768, 10);
  auto compressor = MakeCompressor();
  Bytes out(32780);
  std::uint16_t size = 0;
  const long before = allocations;
  for (const Bytes* input : {&text, &text, &noise, &text}) {
    EXPECT_EQ(compressor->Compress(std::as_bytes(std::span(*input)),
                                   std::as_writable_bytes(std::span(out)), &size),
              MszipResult::kOk);
  }
  EXPECT_EQ(compressor->Reset(), MszipResult::kOk);
  EXPECT_EQ(compressor->Prime(std::as_bytes(std::span(noise))), MszipResult::kOk);
  EXPECT_EQ(allocations - before, 0);
  const auto probe = std::make_unique<int>(1);
  EXPECT_GT(allocations - before, 0) << "the allocation hook is not called";
}

}  // namespace
}  // namespace kb::cabinet::test

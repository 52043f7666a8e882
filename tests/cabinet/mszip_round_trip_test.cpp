#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>

#include "cabinet/deflate/mszip_compressor.h"
#include "cabinet/mszip_test_util.h"
#include "test_support/deflate_reader.h"

namespace kb::cabinet::test {
namespace {

// Appends a stretch of one kind of content: noise, repeated phrases, a run, or a copy of
// something earlier (in this block or in `before`, the previous one).
void AppendStretch(std::mt19937& random, const Bytes& before, Bytes& out) {
  // The draws are sequenced, so that every compiler makes the same stretches.
  const std::uint32_t longest = random() % 2 ? 300 : 6000;
  const std::size_t length = 1 + random() % longest;
  switch (random() % 4) {
    case 0:
      for (std::size_t i = 0; i < length; ++i) out.push_back(static_cast<std::uint8_t>(random()));
      break;
    case 1: {
      Bytes phrase(3 + random() % 20);
      for (auto& b : phrase) b = static_cast<std::uint8_t>('a' + random() % 6);
      for (std::size_t i = 0; i < length; ++i) out.push_back(phrase[i % phrase.size()]);
      break;
    }
    case 2:
      out.insert(out.end(), length, static_cast<std::uint8_t>(random() % 3));
      break;
    default: {
      const Bytes& source = before.empty() || random() % 2 ? out : before;
      if (source.empty()) break;
      const std::size_t from = random() % source.size();
      const std::size_t size = std::min(length, source.size() - from);
      const Bytes copy(source.begin() + from, source.begin() + from + size);
      out.insert(out.end(), copy.begin(), copy.end());
    }
  }
}

std::size_t RandomBlockSize(std::mt19937& random) {
  static constexpr std::size_t kNearBoundary[] = {0, 1, 2, 3, 4, 32765, 32766, 32767};
  const std::uint32_t pick = random() % 10;
  if (pick < 6) return 32768;
  if (pick < 8) return kNearBoundary[random() % std::size(kNearBoundary)];
  return 1 + random() % 32768;
}

// What a correct block must respect beyond decoding right: matches reach back at most 32,506
// bytes, a 3-byte match at most 4,096, and none starts in the last three bytes of a block; a
// Deflate block that is not the last ends after a multiple of 4,096 symbols or at 32,767.
// Returns how many Deflate blocks ended early.
int ExpectCodingRules(const Bytes& block, const Bytes& dictionary) {
  const auto stream = kb::test::ReadDeflate(std::span(block).subspan(2), dictionary);
  EXPECT_TRUE(stream.has_value());
  if (!stream) return 0;
  int early_ends = 0;
  for (const auto& deflate_block : stream->blocks) {
    const std::size_t count = deflate_block.symbols.size();
    if (!deflate_block.final && deflate_block.type != 0) {
      EXPECT_TRUE(count % 4096 == 0 || count == 32767) << count;
      early_ends += count % 4096 == 0;
    }
    for (const auto& symbol : deflate_block.symbols) {
      if (symbol.length == 0) continue;
      EXPECT_LE(symbol.distance, 32506);
      EXPECT_TRUE(symbol.length > 3 || symbol.distance <= 4096) << symbol.distance;
      EXPECT_LT(symbol.offset, 32765u);
    }
  }
  return early_ends;
}

// Codes `input` after `history` (empty for none) with a compressor that has just coded some
// other full block, so that nothing of the real predecessor can be left in it but what Prime
// puts there.
Bytes CompressPrimed(MszipCompressor& compressor, const Bytes& history, const Bytes& input) {
  CompressBlock(compressor, WordText(32768, static_cast<std::uint32_t>(input.size())));
  if (history.empty()) {
    EXPECT_EQ(compressor.Reset(), MszipResult::kOk);
  } else {
    EXPECT_EQ(compressor.Prime(std::as_bytes(std::span(history))), MszipResult::kOk);
  }
  return CompressBlock(compressor, input);
}

// FNV-1a, to compare a long run of coded bytes with a recorded one.
std::uint64_t Fingerprint(std::uint64_t hash, const Bytes& bytes) {
  for (const std::uint8_t byte : bytes) hash = (hash ^ byte) * 1099511628211u;
  return hash;
}

struct ChainResult {
  std::size_t coded_bytes = 0;
  std::uint64_t fingerprint = 14695981039346656037u;
};

// Each block is also coded by a second compressor that was only given its history, as the
// cabinet writer's workers are: the bytes must be the same.
ChainResult CodeRandomChain(MszipLevel level) {
  std::mt19937 random(2024);
  auto compressor = MakeCompressor(level);
  auto primed = MakeCompressor(level);
  ChainResult result;
  Bytes previous;
  bool history = false;
  int early_ends = 0;
  for (int n = 0; n < 120; ++n) {
    if (random() % 12 == 0) {
      EXPECT_EQ(compressor->Reset(), MszipResult::kOk);
      history = false;
    }
    const std::size_t size = RandomBlockSize(random);
    Bytes input;
    while (input.size() < size) AppendStretch(random, previous, input);
    input.resize(size);

    const Bytes block = CompressBlock(*compressor, input);
    const Bytes dictionary = history ? previous : Bytes{};
    SCOPED_TRACE(testing::Message() << "block " << n << " of " << size << " bytes");
    EXPECT_LE(block.size(), size + MszipCompressor::kOutputSlack);
    EXPECT_EQ(ZlibInflate(block, dictionary), input);
    EXPECT_EQ(CompressPrimed(*primed, dictionary, input), block);
    early_ends += ExpectCodingRules(block, dictionary);
    result.coded_bytes += block.size();
    result.fingerprint = Fingerprint(result.fingerprint, block);
    history = size == 32768;
    previous = input;
  }
  EXPECT_GT(early_ends, 0) << "no block was ended for compressing well";
  return result;
}

// Every level decodes and primes alike; the best codes exactly as it did before the faster
// levels came (the recorded run), and each faster level gives up a little size.
TEST(MszipRoundTripTest, RandomChainsOfBlocksDecodeWithZlibAtEveryLevel) {
  const ChainResult best = CodeRandomChain(MszipLevel::kBest);
  EXPECT_EQ(best.coded_bytes, 960316u);
  EXPECT_EQ(best.fingerprint, 0x82508929053ca3aau);
  const ChainResult normal = CodeRandomChain(MszipLevel::kNormal);
  const ChainResult fast = CodeRandomChain(MszipLevel::kFast);
  EXPECT_LE(best.coded_bytes, normal.coded_bytes);
  EXPECT_LE(normal.coded_bytes, fast.coded_bytes);
  EXPECT_NE(normal.fingerprint, fast.fingerprint);
}

// zlib's best level, raw Deflate with the previous block as dictionary, as MSZIP does.
std::size_t ZlibBestSize(const Bytes& input, const Bytes& dictionary) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  if (!dictionary.empty()) {
    deflateSetDictionary(&z, dictionary.data(), static_cast<uInt>(dictionary.size()));
  }
  Bytes out(deflateBound(&z, input.size()));
  z.next_in = const_cast<Bytef*>(input.data());
  z.avail_in = static_cast<uInt>(input.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  deflateEnd(&z);
  return z.total_out + 2;  // with "CK"
}

TEST(MszipRoundTripTest, TextComesOutAboutAsSmallAsZlibsBest) {
  auto compressor = MakeCompressor();
  std::size_t ours = 0, zlib = 0;
  Bytes previous;
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    const Bytes text = WordText(32768, seed);
    ours += CompressBlock(*compressor, text).size();
    zlib += ZlibBestSize(text, previous);
    previous = text;
  }
  EXPECT_LE(ours, zlib * 101 / 100);
}

}  // namespace
}  // namespace kb::cabinet::test

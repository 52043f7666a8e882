#include "cabinet/mszip_test_util.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <string_view>

namespace kb::cabinet::test {

std::unique_ptr<MszipCompressor> MakeCompressor(MszipLevel level) {
  std::unique_ptr<MszipCompressor> compressor;
  std::size_t capacity = 0;
  EXPECT_EQ(MszipCompressor::Create(0, &compressor, &capacity, level), MszipResult::kOk);
  return compressor;
}

Bytes CompressBlock(MszipCompressor& compressor, std::span<const std::uint8_t> input) {
  Bytes out(compressor.block_size() + MszipCompressor::kOutputSlack);
  std::uint16_t size = 0;
  EXPECT_EQ(
      compressor.Compress(std::as_bytes(input), std::as_writable_bytes(std::span(out)), &size),
      MszipResult::kOk);
  out.resize(size);
  return out;
}

std::optional<Bytes> ZlibInflate(std::span<const std::uint8_t> block,
                                 std::span<const std::uint8_t> dictionary) {
  if (block.size() < 2 || block[0] != 'C' || block[1] != 'K') return std::nullopt;
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return std::nullopt;
  Bytes out(MszipCompressor::kMaxBlockSize + 1);
  int status = dictionary.empty() ? Z_OK
                                  : inflateSetDictionary(&z, dictionary.data(),
                                                         static_cast<uInt>(dictionary.size()));
  if (status == Z_OK) {
    z.next_in = const_cast<Bytef*>(block.data() + 2);
    z.avail_in = static_cast<uInt>(block.size() - 2);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    status = inflate(&z, Z_FINISH);
  }
  const bool whole = status == Z_STREAM_END && z.avail_in == 0;
  out.resize(z.total_out);
  inflateEnd(&z);
  if (!whole) return std::nullopt;
  return out;
}

Bytes UnrepeatedBytes(std::size_t size, std::uint32_t seed, int alphabet) {
  std::mt19937 random(seed);
  std::vector<bool> seen(1 << 24);
  Bytes out;
  while (out.size() < size) {
    const auto byte = static_cast<std::uint8_t>(random() % alphabet);
    const std::size_t n = out.size();
    if (n >= 2) {
      const std::uint32_t triple = out[n - 2] << 16 | out[n - 1] << 8 | byte;
      if (seen[triple]) continue;
      seen[triple] = true;
    }
    out.push_back(byte);
  }
  return out;
}

Bytes WordText(std::size_t size, std::uint32_t seed) {
  static constexpr std::array<std::string_view, 32> kWords = {
      "the",     "cabinet", "holds",  "files",   "of",     "a",     "package", "and",
      "install", "copies",  "them",   "to",      "folder", "named", "after",   "product",
      "user",    "may",     "choose", "another", "with",   "short", "cut",     "menu",
      "version", "licence", "banner", "text",    "window", "build", "quickly", "every"};
  std::mt19937 random(seed);
  Bytes out;
  while (out.size() < size) {
    // Low indices come up far more often, as common words do.
    const std::string_view word = kWords[(random() % 32) * (random() % 32) / 32];
    out.insert(out.end(), word.begin(), word.end());
    out.push_back(random() % 11 == 0 ? '\n' : ' ');
  }
  out.resize(size);
  return out;
}

}  // namespace kb::cabinet::test

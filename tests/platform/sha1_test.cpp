#include "platform/sha1.h"

#include <gtest/gtest.h>

#include <string>

namespace kb::platform {
namespace {

std::string Hex(const std::array<std::uint8_t, 20>& digest) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::string text;
  for (std::uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

// The published examples of FIPS 180-4, and lengths at the padding's block boundaries
// (digests from Python's hashlib).
TEST(Sha1Test, GivesThePublishedDigests) {
  const std::pair<std::string, const char*> cases[] = {
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      {std::string(55, 'x'), "cef734ba81a024479e09eb5a75b6ddae62e6abf1"},
      {std::string(64, 'x'), "bb2fa3ee7afb9f54c6dfb5d021f14b1ffe40c163"},
  };
  for (const auto& [input, digest] : cases) {
    EXPECT_EQ(Hex(Sha1(input)), digest) << input.size();
    // The same in parts of every size from 1 to 70 bytes, across the block boundaries.
    for (std::size_t part = 1; part <= 70 && part <= input.size(); part += 23) {
      Sha1Stream stream;
      for (std::size_t at = 0; at < input.size(); at += part) {
        stream.Add(std::string_view(input).substr(at, part));
      }
      EXPECT_EQ(Hex(stream.Digest()), digest) << input.size() << " in parts of " << part;
    }
  }
}

}  // namespace
}  // namespace kb::platform

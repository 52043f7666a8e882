#include "platform/sha1.h"

#include <algorithm>
#include <bit>
#include <string>

namespace kb::platform {
namespace {

constexpr std::size_t kBlockBytes = 64;

using State = std::array<std::uint32_t, 5>;

std::uint32_t BigEndianWord(const unsigned char* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
         (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

// One round's function and constant, by the round's number (0 to 79).
std::uint32_t RoundFunction(int t, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  if (t < 20) return ((b & c) | (~b & d)) + 0x5A827999u;
  if (t < 40) return (b ^ c ^ d) + 0x6ED9EBA1u;
  if (t < 60) return ((b & c) | (b & d) | (c & d)) + 0x8F1BBCDCu;
  return (b ^ c ^ d) + 0xCA62C1D6u;
}

void CompressBlock(State& h, const unsigned char* block) {
  std::array<std::uint32_t, 80> w{};
  for (int t = 0; t < 16; ++t) w[t] = BigEndianWord(block + 4 * t);
  for (int t = 16; t < 80; ++t) w[t] = std::rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
  auto [a, b, c, d, e] = h;
  for (int t = 0; t < 80; ++t) {
    const std::uint32_t next = std::rotl(a, 5) + RoundFunction(t, b, c, d) + e + w[t];
    e = d;
    d = c;
    c = std::rotl(b, 30);
    b = a;
    a = next;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
}

}  // namespace

void Sha1Stream::Add(std::string_view bytes) {
  length_ += bytes.size();
  if (!pending_.empty()) {
    const std::size_t taken = std::min(kBlockBytes - pending_.size(), bytes.size());
    pending_.append(bytes.substr(0, taken));
    bytes.remove_prefix(taken);
    if (pending_.size() < kBlockBytes) return;
    CompressBlock(state_, reinterpret_cast<const unsigned char*>(pending_.data()));
    pending_.clear();
  }
  const std::size_t whole = bytes.size() - bytes.size() % kBlockBytes;
  for (std::size_t at = 0; at < whole; at += kBlockBytes) {
    CompressBlock(state_, reinterpret_cast<const unsigned char*>(bytes.data() + at));
  }
  pending_.assign(bytes.substr(whole));
}

std::array<std::uint8_t, 20> Sha1Stream::Digest() {
  // The tail: the last bytes, a 1 bit, zeros, and the message's length in bits.
  std::string tail = std::move(pending_);
  tail += '\x80';
  while (tail.size() % kBlockBytes != kBlockBytes - 8) tail += '\0';
  const std::uint64_t bits = length_ * 8;
  for (int shift = 56; shift >= 0; shift -= 8) tail += static_cast<char>((bits >> shift) & 0xFF);
  for (std::size_t at = 0; at < tail.size(); at += kBlockBytes) {
    CompressBlock(state_, reinterpret_cast<const unsigned char*>(tail.data() + at));
  }
  std::array<std::uint8_t, 20> digest{};
  for (std::size_t i = 0; i < digest.size(); ++i) {
    digest[i] = static_cast<std::uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
  }
  return digest;
}

std::array<std::uint8_t, 20> Sha1(std::string_view bytes) {
  Sha1Stream stream;
  stream.Add(bytes);
  return stream.Digest();
}

}  // namespace kb::platform

#ifndef KITBINDER_PLATFORM_SHA1_H_
#define KITBINDER_PLATFORM_SHA1_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kb::platform {

// The SHA-1 digest (FIPS 180-4) of `bytes`. Used where a fixed name-based code is needed (the
// version 5 GUIDs of RFC 4122), never for security.
std::array<std::uint8_t, 20> Sha1(std::string_view bytes);

// The same digest of bytes given in parts, for data too large to hold at once.
class Sha1Stream {
 public:
  // Appends `bytes` to the message.
  void Add(std::string_view bytes);
  // The digest of everything added. REQUIRES: called once, after the last Add.
  std::array<std::uint8_t, 20> Digest();

 private:
  std::array<std::uint32_t, 5> state_ = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u,
                                         0xC3D2E1F0u};
  std::string pending_;  // the bytes of a block not yet whole
  std::uint64_t length_ = 0;
};

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_SHA1_H_

#ifndef KITBINDER_PLATFORM_SHA1_H_
#define KITBINDER_PLATFORM_SHA1_H_

#include <array>
#include <cstdint>
#include <string_view>

namespace kb::platform {

// The SHA-1 digest (FIPS 180-4) of `bytes`. Used where a fixed name-based code is needed (the
// version 5 GUIDs of RFC 4122), never for security.
std::array<std::uint8_t, 20> Sha1(std::string_view bytes);

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_SHA1_H_

#ifndef KITBINDER_PLATFORM_RANDOM_BYTES_H_
#define KITBINDER_PLATFORM_RANDOM_BYTES_H_

#include <cstddef>
#include <span>

namespace kb::platform {

// Fills `out` from the operating system's random source (getrandom). Returns false only when
// the source fails, which on Linux means the call was refused outright.
bool FillRandomBytes(std::span<std::byte> out);

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_RANDOM_BYTES_H_

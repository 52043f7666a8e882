#ifndef KITBINDER_MSI_DB_BYTE_ORDER_H_
#define KITBINDER_MSI_DB_BYTE_ORDER_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kb::msi {

// Little-endian integers of `width` bytes (1 to 4), the byte order of every installer structure.
// REQUIRES: bytes.size() >= offset + width.
inline std::uint32_t ReadLittleEndian(std::span<const std::byte> bytes, std::size_t offset,
                                      unsigned width) {
  std::uint32_t value = 0;
  for (unsigned i = 0; i < width; ++i) {
    value |= std::to_integer<std::uint32_t>(bytes[offset + i]) << (8 * i);
  }
  return value;
}

inline void AppendLittleEndian(std::vector<std::byte>& out, std::uint64_t value, unsigned width) {
  for (unsigned i = 0; i < width; ++i) out.push_back(static_cast<std::byte>(value >> (8 * i)));
}

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_BYTE_ORDER_H_

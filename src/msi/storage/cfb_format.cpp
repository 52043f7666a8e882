#include "msi/storage/cfb_format.h"

#include <algorithm>
#include <cstring>

namespace kb::msi::cfb {
namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint16_t kMinorVersion = 0x003E;
constexpr std::uint16_t kByteOrderMark = 0xFFFE;
constexpr std::uint16_t kMiniSectorShift = 6;

std::uint16_t LoadU16(const std::byte* p) {
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(p[0]) |
                                    std::to_integer<unsigned>(p[1]) << 8);
}

void StoreU16(std::byte* p, std::uint16_t value) {
  p[0] = static_cast<std::byte>(value);
  p[1] = static_cast<std::byte>(value >> 8);
}

std::uint64_t LoadU64(const std::byte* p) {
  return LoadU32(p) | static_cast<std::uint64_t>(LoadU32(p + 4)) << 32;
}

void StoreU64(std::byte* p, std::uint64_t value) {
  StoreU32(p, static_cast<std::uint32_t>(value));
  StoreU32(p + 4, static_cast<std::uint32_t>(value >> 32));
}

// Simple upper-case mapping for the scripts a name is likely to use; the installer's own
// names live in the private-use range, which has no case.
constexpr char16_t ToUpper(char16_t c) {
  if (c >= u'a' && c <= u'z') return c - 0x20;
  if (c < 0xB5) return c;
  if (c == 0xB5) return 0x39C;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    const bool odd_lower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F || c == 0x130) return c;
    if (odd_lower) return (c & 1) ? c : c - 1;
    return (c & 1) ? c - 1 : c;
  }
  if (c >= 0x3B1 && c <= 0x3C9) return c == 0x3C2 ? 0x3A3 : c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

}  // namespace

std::uint32_t LoadU32(const std::byte* p) {
  return std::to_integer<std::uint32_t>(p[0]) | std::to_integer<std::uint32_t>(p[1]) << 8 |
         std::to_integer<std::uint32_t>(p[2]) << 16 | std::to_integer<std::uint32_t>(p[3]) << 24;
}

void StoreU32(std::byte* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::byte>(value >> (8 * i));
}

std::optional<Header> ParseHeader(std::span<const std::byte, kHeaderSize> bytes) {
  const std::byte* p = bytes.data();
  for (std::size_t i = 0; i < kSignature.size(); ++i) {
    if (std::to_integer<std::uint8_t>(p[i]) != kSignature[i]) return std::nullopt;
  }
  Header h;
  h.major_version = LoadU16(p + 0x1A);
  h.sector_shift = LoadU16(p + 0x1E);
  const bool v3 = h.major_version == 3 && h.sector_shift == 9;
  const bool v4 = h.major_version == 4 && h.sector_shift == 12;
  if (LoadU16(p + 0x1C) != kByteOrderMark || !(v3 || v4) || LoadU16(p + 0x20) != kMiniSectorShift ||
      LoadU32(p + 0x38) != kMiniStreamCutoff) {
    return std::nullopt;
  }
  h.directory_sector_count = LoadU32(p + 0x28);
  h.fat_sector_count = LoadU32(p + 0x2C);
  h.first_directory_sector = LoadU32(p + 0x30);
  h.first_minifat_sector = LoadU32(p + 0x3C);
  h.minifat_sector_count = LoadU32(p + 0x40);
  h.first_difat_sector = LoadU32(p + 0x44);
  h.difat_sector_count = LoadU32(p + 0x48);
  for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) h.difat[i] = LoadU32(p + 0x4C + 4 * i);
  return h;
}

std::array<std::byte, kHeaderSize> SerializeHeader(const Header& h) {
  std::array<std::byte, kHeaderSize> bytes{};
  std::byte* p = bytes.data();
  for (std::size_t i = 0; i < kSignature.size(); ++i) p[i] = std::byte{kSignature[i]};
  StoreU16(p + 0x18, kMinorVersion);
  StoreU16(p + 0x1A, h.major_version);
  StoreU16(p + 0x1C, kByteOrderMark);
  StoreU16(p + 0x1E, h.sector_shift);
  StoreU16(p + 0x20, kMiniSectorShift);
  StoreU32(p + 0x28, h.major_version == 3 ? 0 : h.directory_sector_count);
  StoreU32(p + 0x2C, h.fat_sector_count);
  StoreU32(p + 0x30, h.first_directory_sector);
  StoreU32(p + 0x38, static_cast<std::uint32_t>(kMiniStreamCutoff));
  StoreU32(p + 0x3C, h.first_minifat_sector);
  StoreU32(p + 0x40, h.minifat_sector_count);
  StoreU32(p + 0x44, h.first_difat_sector);
  StoreU32(p + 0x48, h.difat_sector_count);
  for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) StoreU32(p + 0x4C + 4 * i, h.difat[i]);
  return bytes;
}

std::optional<DirectoryEntry> ParseEntry(std::span<const std::byte, kEntrySize> raw,
                                         std::uint16_t major_version) {
  const std::byte* p = raw.data();
  DirectoryEntry e;
  e.type = static_cast<ObjectType>(std::to_integer<std::uint8_t>(p[0x42]));
  if (e.type == ObjectType::kUnallocated) return e;
  const std::uint16_t name_bytes = LoadU16(p + 0x40);
  if (name_bytes < 2 || name_bytes > 2 * (kMaxNameUnits + 1) || name_bytes % 2 != 0) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i + 1 < name_bytes / 2u; ++i) {
    const char16_t unit = LoadU16(p + 2 * i);
    if (unit == 0) break;
    e.name.push_back(unit);
  }
  e.color = std::to_integer<std::uint8_t>(p[0x43]) == 0 ? Color::kRed : Color::kBlack;
  e.left = LoadU32(p + 0x44);
  e.right = LoadU32(p + 0x48);
  e.child = LoadU32(p + 0x4C);
  std::memcpy(e.clsid.data(), p + 0x50, e.clsid.size());
  e.start_sector = LoadU32(p + 0x74);
  e.size = major_version == 3 ? LoadU32(p + 0x78) : LoadU64(p + 0x78);
  return e;
}

void StoreEntry(const DirectoryEntry& e, std::span<std::byte, kEntrySize> raw) {
  std::byte* p = raw.data();
  std::fill(p, p + 0x40, std::byte{0});
  for (std::size_t i = 0; i < e.name.size(); ++i) StoreU16(p + 2 * i, e.name[i]);
  StoreU16(p + 0x40, static_cast<std::uint16_t>(2 * (e.name.size() + 1)));
  p[0x42] = static_cast<std::byte>(e.type);
  p[0x43] = static_cast<std::byte>(e.color);
  StoreU32(p + 0x44, e.left);
  StoreU32(p + 0x48, e.right);
  StoreU32(p + 0x4C, e.child);
  std::memcpy(p + 0x50, e.clsid.data(), e.clsid.size());
  StoreU32(p + 0x74, e.start_sector);
  StoreU64(p + 0x78, e.size);
}

void ClearEntry(std::span<std::byte, kEntrySize> raw) {
  std::fill(raw.begin(), raw.end(), std::byte{0});
  StoreU32(raw.data() + 0x44, kNoStream);
  StoreU32(raw.data() + 0x48, kNoStream);
  StoreU32(raw.data() + 0x4C, kNoStream);
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char16_t x = ToUpper(a[i]);
    const char16_t y = ToUpper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

bool IsValidName(std::u16string_view name) {
  constexpr char16_t kForbidden[] = {u'/', u'\\', u':', u'!', u'\0'};
  return !name.empty() && name.size() <= kMaxNameUnits &&
         name.find_first_of(std::u16string_view(kForbidden, 5)) == std::u16string_view::npos;
}

}  // namespace kb::msi::cfb

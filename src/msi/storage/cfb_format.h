#ifndef KITBINDER_MSI_STORAGE_CFB_FORMAT_H_
#define KITBINDER_MSI_STORAGE_CFB_FORMAT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "msi/storage/compound_file.h"

// The on-disk structures of a compound file: the header, the special sector numbers and the
// 128-byte directory entry. Everything is little-endian.
namespace kb::msi::cfb {

inline constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
inline constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
inline constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
inline constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

inline constexpr std::size_t kHeaderSize = 512;
inline constexpr std::size_t kHeaderDifatEntries = 109;
inline constexpr std::size_t kEntrySize = 128;
inline constexpr std::size_t kMaxNameUnits = 31;  // plus the terminating null
inline constexpr std::uint32_t kMiniSectorSize = 64;
inline constexpr std::uint64_t kMiniStreamCutoff = 4096;
// Offset of the byte range that Windows locks; the sector holding it is never allocated.
inline constexpr std::uint64_t kRangeLockOffset = 0x7FFFFF00;
// A version-3 reader keeps only the low 32 bits of a stream size.
inline constexpr std::uint64_t kMaxVersion3StreamSize = 0x80000000;

struct Header {
  std::uint16_t major_version = 3;
  std::uint16_t sector_shift = 9;
  std::uint32_t directory_sector_count = 0;  // version 4 only
  std::uint32_t fat_sector_count = 0;
  std::uint32_t first_directory_sector = kEndOfChain;
  std::uint32_t first_minifat_sector = kEndOfChain;
  std::uint32_t minifat_sector_count = 0;
  std::uint32_t first_difat_sector = kEndOfChain;
  std::uint32_t difat_sector_count = 0;
  std::array<std::uint32_t, kHeaderDifatEntries> difat{};

  std::uint32_t sector_size() const { return 1u << sector_shift; }
};

// Checks the signature, byte order, version, sector sizes and mini stream cutoff; nullopt
// when any is not what version 3 (512-byte sectors) or version 4 (4,096-byte) requires.
[[nodiscard]] std::optional<Header> ParseHeader(std::span<const std::byte, kHeaderSize> bytes);
std::array<std::byte, kHeaderSize> SerializeHeader(const Header& header);

enum class ObjectType : std::uint8_t { kUnallocated = 0, kStorage = 1, kStream = 2, kRoot = 5 };
enum class Color : std::uint8_t { kRed = 0, kBlack = 1 };

// The fields of a directory entry that this program reads or changes. Timestamps and state
// bits are left as they are in the raw entry.
struct DirectoryEntry {
  std::u16string name;
  ObjectType type = ObjectType::kUnallocated;
  Color color = Color::kBlack;
  std::uint32_t left = kNoStream;
  std::uint32_t right = kNoStream;
  std::uint32_t child = kNoStream;
  Clsid clsid{};
  std::uint32_t start_sector = kEndOfChain;
  std::uint64_t size = 0;
};

// Decodes an entry; nullopt when an allocated entry's name is malformed. A version-3 size
// keeps its low 32 bits only, as older writers left garbage in the high ones.
[[nodiscard]] std::optional<DirectoryEntry> ParseEntry(std::span<const std::byte, kEntrySize> raw,
                                                       std::uint16_t major_version);
// Writes the modelled fields of `entry` into `raw`, keeping its other bytes.
// REQUIRES: entry.name.size() <= kMaxNameUnits.
void StoreEntry(const DirectoryEntry& entry, std::span<std::byte, kEntrySize> raw);
// The raw form of an unallocated entry.
void ClearEntry(std::span<std::byte, kEntrySize> raw);

// The order of siblings in a directory tree: shorter names first, then unit by unit after
// upper-casing.
int CompareNames(std::u16string_view a, std::u16string_view b);
struct NameLess {
  using is_transparent = void;
  bool operator()(std::u16string_view a, std::u16string_view b) const {
    return CompareNames(a, b) < 0;
  }
};

// True when a name can be stored: 1 to 31 units, none of them / \ : ! or null.
bool IsValidName(std::u16string_view name);

std::uint32_t LoadU32(const std::byte* p);
void StoreU32(std::byte* p, std::uint32_t value);

}  // namespace kb::msi::cfb

#endif  // KITBINDER_MSI_STORAGE_CFB_FORMAT_H_

#ifndef KITBINDER_MSI_DB_COLUMN_TYPE_H_
#define KITBINDER_MSI_DB_COLUMN_TYPE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kb::msi {

// A column's type word as the installer keeps it in the `_Columns` table: the low byte is the
// size (characters of a string, 2 or 4 for an integer), the bits above say what is stored.
class ColumnType {
 public:
  static constexpr std::uint16_t kSizeMask = 0x00FF;
  static constexpr std::uint16_t kValid = 0x0100;
  static constexpr std::uint16_t kLocalizable = 0x0200;
  static constexpr std::uint16_t kShortOrText = 0x0400;  // short integer, or text (not binary)
  static constexpr std::uint16_t kStringStorage = 0x0800;
  static constexpr std::uint16_t kNullable = 0x1000;
  static constexpr std::uint16_t kKey = 0x2000;
  static constexpr std::uint16_t kTemporary = 0x4000;

  enum class Kind { kShort, kLong, kString, kObject };

  constexpr ColumnType() = default;
  constexpr explicit ColumnType(std::uint16_t bits) : bits_(bits) {}

  static ColumnType Short() { return ColumnType(kValid | kShortOrText | 2); }
  static ColumnType Long() { return ColumnType(kValid | 4); }
  static ColumnType String(std::uint8_t size) {
    return ColumnType(kValid | kStringStorage | kShortOrText | size);
  }
  static ColumnType Object() { return ColumnType(kValid | kStringStorage); }

  // Parses an archive column definition such as "s72", "L0", "i2" or "V0" (upper case letter =
  // nullable). The key bit is not part of it. nullopt for anything else.
  [[nodiscard]] static std::optional<ColumnType> FromArchive(std::string_view text);
  // The archive column definition of this type.
  std::string ToArchive() const;

  std::uint16_t bits() const { return bits_; }
  Kind kind() const;
  bool is_integer() const { return kind() == Kind::kShort || kind() == Kind::kLong; }
  bool is_string() const { return kind() == Kind::kString; }
  bool is_object() const { return kind() == Kind::kObject; }
  bool nullable() const { return (bits_ & kNullable) != 0; }
  bool key() const { return (bits_ & kKey) != 0; }
  bool temporary() const { return (bits_ & kTemporary) != 0; }
  bool localizable() const { return (bits_ & kLocalizable) != 0; }
  unsigned size() const { return bits_ & kSizeMask; }

  ColumnType With(std::uint16_t flag, bool on) const {
    return ColumnType(on ? bits_ | flag : bits_ & ~flag);
  }

  // Bytes one cell of this column takes in a table stream, given the width of string references.
  unsigned StoredWidth(unsigned string_ref_width) const;

  bool operator==(const ColumnType&) const = default;

 private:
  std::uint16_t bits_ = 0;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_COLUMN_TYPE_H_

#include "msi/db/column_type.h"

#include <cctype>
#include <charconv>

namespace kb::msi {

ColumnType::Kind ColumnType::kind() const {
  if ((bits_ & kStringStorage) == 0) return (bits_ & kSizeMask) == 2 ? Kind::kShort : Kind::kLong;
  return (bits_ & kShortOrText) != 0 ? Kind::kString : Kind::kObject;
}

unsigned ColumnType::StoredWidth(unsigned string_ref_width) const {
  switch (kind()) {
    case Kind::kShort:
    case Kind::kObject:
      return 2;
    case Kind::kLong:
      return 4;
    case Kind::kString:
      return string_ref_width;
  }
  return 0;
}

std::optional<ColumnType> ColumnType::FromArchive(std::string_view text) {
  if (text.size() < 2) return std::nullopt;
  unsigned size = 0;
  const char* end = text.data() + text.size();
  const auto parsed = std::from_chars(text.data() + 1, end, size);
  if (parsed.ec != std::errc() || parsed.ptr != end || size > 255) return std::nullopt;
  const char letter = text[0];
  const bool nullable = std::isupper(static_cast<unsigned char>(letter)) != 0;
  ColumnType type;
  switch (std::tolower(static_cast<unsigned char>(letter))) {
    case 's':
      type = String(static_cast<std::uint8_t>(size));
      break;
    case 'l':
      type = String(static_cast<std::uint8_t>(size)).With(kLocalizable, true);
      break;
    case 'g':
      type = String(static_cast<std::uint8_t>(size)).With(kTemporary, true);
      break;
    case 'i':
      if (size != 2 && size != 4) return std::nullopt;
      type = size == 2 ? Short() : Long();
      break;
    case 'j':
      if (size != 2 && size != 4) return std::nullopt;
      type = (size == 2 ? Short() : Long()).With(kTemporary, true);
      break;
    case 'v':
      if (size != 0) return std::nullopt;
      type = Object();
      break;
    default:
      return std::nullopt;
  }
  return type.With(kNullable, nullable);
}

std::string ColumnType::ToArchive() const {
  char letter = 's';
  switch (kind()) {
    case Kind::kShort:
    case Kind::kLong:
      letter = temporary() ? 'j' : 'i';
      break;
    case Kind::kObject:
      letter = 'v';
      break;
    case Kind::kString:
      letter = temporary() ? 'g' : localizable() ? 'l' : 's';
      break;
  }
  if (nullable()) letter = static_cast<char>(std::toupper(letter));
  return letter + std::to_string(kind() == Kind::kObject ? 0 : size());
}

}  // namespace kb::msi

#include "msi/db/stream_name.h"

#include <cstdint>

namespace kb::msi {
namespace {

constexpr char16_t kPairBase = 0x3800;
constexpr char16_t kSingleBase = 0x3800 + 4096;
constexpr char16_t kTableMarker = 0x4840;
constexpr std::string_view kFoldable =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._";

// The 6-bit code of a foldable character, or -1.
constexpr int FoldCode(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'A' && c <= 'Z') return static_cast<int>(c - 'A') + 10;
  if (c >= 'a' && c <= 'z') return static_cast<int>(c - 'a') + 36;
  if (c == '.') return 62;
  if (c == '_') return 63;
  return -1;
}

// Decodes one UTF-8 sequence at the front of `in` (advancing it); a malformed one gives U+FFFD
// and consumes one byte.
char32_t NextCodePoint(std::string_view& in) {
  const auto lead = static_cast<unsigned char>(in[0]);
  const int extra = lead < 0x80             ? 0
                    : (lead & 0xE0) == 0xC0 ? 1
                    : (lead & 0xF0) == 0xE0 ? 2
                    : (lead & 0xF8) == 0xF0 ? 3
                                            : -1;
  if (extra < 0 || in.size() <= static_cast<std::size_t>(extra)) {
    in.remove_prefix(1);
    return 0xFFFD;
  }
  char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    const auto b = static_cast<unsigned char>(in[i]);
    if ((b & 0xC0) != 0x80) {
      in.remove_prefix(1);
      return 0xFFFD;
    }
    c = (c << 6) | (b & 0x3F);
  }
  in.remove_prefix(static_cast<std::size_t>(extra) + 1);
  return c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) ? 0xFFFD : c;
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
    return;
  }
  c -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// The code point of the UTF-16 unit at stored[i] (a surrogate pair takes two; a lone
// surrogate gives U+FFFD), advancing i.
char32_t NextUtf16(std::u16string_view stored, std::size_t& i) {
  const char16_t u = stored[i++];
  if (u >= 0xD800 && u < 0xDC00 && i < stored.size() && stored[i] >= 0xDC00 && stored[i] < 0xE000) {
    const char16_t low = stored[i++];
    return 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00);
  }
  return u >= 0xD800 && u < 0xE000 ? 0xFFFD : u;
}

}  // namespace

std::u16string EncodeStreamName(std::string_view name, bool is_table) {
  std::u16string out;
  if (is_table) out.push_back(kTableMarker);
  while (!name.empty()) {
    const char32_t c = NextCodePoint(name);
    const int a = FoldCode(c);
    if (a < 0) {
      AppendUtf16(out, c);
      continue;
    }
    const int b = name.empty() ? -1 : FoldCode(static_cast<unsigned char>(name[0]));
    if (b < 0) {
      out.push_back(static_cast<char16_t>(kSingleBase + a));
      continue;
    }
    name.remove_prefix(1);
    out.push_back(static_cast<char16_t>(kPairBase + a + (b << 6)));
  }
  return out;
}

DecodedStreamName DecodeStreamName(std::u16string_view stored) {
  DecodedStreamName decoded;
  std::size_t i = 0;
  if (!stored.empty() && stored[0] == kTableMarker) {
    decoded.is_table = true;
    i = 1;
  }
  while (i < stored.size()) {
    const char16_t u = stored[i];
    if (u >= kPairBase && u < kSingleBase) {
      const int code = u - kPairBase;
      decoded.name.push_back(kFoldable[code & 0x3F]);
      decoded.name.push_back(kFoldable[code >> 6]);
      ++i;
    } else if (u >= kSingleBase && u < kTableMarker) {
      decoded.name.push_back(kFoldable[u - kSingleBase]);
      ++i;
    } else {
      AppendUtf8(decoded.name, NextUtf16(stored, i));
    }
  }
  return decoded;
}

std::u16string EncodeStorageName(std::string_view name) {
  std::u16string out;
  while (!name.empty()) AppendUtf16(out, NextCodePoint(name));
  return out;
}

std::string DecodeStorageName(std::u16string_view stored) {
  std::string out;
  for (std::size_t i = 0; i < stored.size();) AppendUtf8(out, NextUtf16(stored, i));
  return out;
}

}  // namespace kb::msi

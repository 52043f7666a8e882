#include "platform/codepage.h"

#include <array>
#include <cstdint>

namespace kb::platform {
namespace {

// Unicode code points of Windows-1252 bytes 0x80 to 0x9F; the rest equal their byte value.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t Windows1252ToCodePoint(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char32_t{byte};
}

std::optional<unsigned char> CodePointToWindows1252(char32_t code_point) {
  if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) {
    return static_cast<unsigned char>(code_point);
  }
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == code_point) return static_cast<unsigned char>(0x80 + i);
  }
  return std::nullopt;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[pos], advancing pos; nullopt on malformed input.
std::optional<char32_t> NextCodePoint(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  int extra = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, cp = lead & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (text.size() - pos <= static_cast<std::size_t>(extra)) return std::nullopt;
  for (int i = 1; i <= extra; ++i) {
    const auto cont = static_cast<unsigned char>(text[pos + i]);
    if ((cont & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (cont & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  pos += extra + 1;
  return cp;
}

}  // namespace

std::size_t Utf8Length(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) count += !IsUtf8Continuation(c);
  return count;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    if (!NextCodePoint(text, pos)) return false;
  }
  return true;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) AppendUtf8(out, Windows1252ToCodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::optional<std::string> Utf8ToWindows1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const auto cp = NextCodePoint(text, pos);
    if (!cp) return std::nullopt;
    const auto byte = CodePointToWindows1252(*cp);
    if (!byte) return std::nullopt;
    out += static_cast<char>(*byte);
  }
  return out;
}

std::string Utf8OrWindows1252(std::string_view bytes) {
  return IsValidUtf8(bytes) ? std::string(bytes) : Windows1252ToUtf8(bytes);
}

bool LooksLikeUtf16(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) return true;
  // Four characters are enough to tell, and short enough for a file of one word.
  constexpr std::size_t kSample = 8;
  if (bytes.size() < kSample) return false;
  const auto zero_at = [&](std::size_t parity) {
    for (std::size_t i = parity; i < kSample; i += 2) {
      if (bytes[i] != '\0') return false;
    }
    return true;
  };
  return zero_at(0) || zero_at(1);
}

}  // namespace kb::platform

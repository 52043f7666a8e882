#ifndef KITBINDER_PLATFORM_CODEPAGE_H_
#define KITBINDER_PLATFORM_CODEPAGE_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Conversions between UTF-8, the program's text in memory, and Windows-1252, the code page of
// project files written on Windows and of our installer templates.
namespace kb::platform {

// True when the byte `c` of UTF-8 text continues a character (10xxxxxx) rather than starting one.
constexpr bool IsUtf8Continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The number of characters in the UTF-8 `text`: its bytes that start one.
std::size_t Utf8Length(std::string_view text);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Every byte has a meaning in Windows-1252 (the five unassigned ones map to the C1 controls of
// the same value, as Windows does), so decoding cannot fail.
std::string Windows1252ToUtf8(std::string_view bytes);

// Returns nullopt when `text` is not valid UTF-8 or holds a character Windows-1252 cannot hold.
std::optional<std::string> Utf8ToWindows1252(std::string_view text);

// Text as it came from a file of unknown origin: kept when it is valid UTF-8, otherwise read
// as Windows-1252.
std::string Utf8OrWindows1252(std::string_view bytes);

// True when `bytes`, the start of a file, look like UTF-16 text: they begin with a UTF-16
// byte-order mark, or every other byte of their first characters is zero (Latin text without
// a mark). Neither UTF-8 nor Windows-1252 text ever looks so.
bool LooksLikeUtf16(std::string_view bytes);

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_CODEPAGE_H_

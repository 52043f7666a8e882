#ifndef KITBINDER_MSI_DB_CODE_PAGE_TEXT_H_
#define KITBINDER_MSI_DB_CODE_PAGE_TEXT_H_

#include <optional>
#include <string>
#include <string_view>

namespace kb::msi {

// The code pages a database may store its text in: 0 (neutral, read as Windows-1252), 1252 and
// 65001 (UTF-8). Text outside the engine is always UTF-8.
inline constexpr int kNeutralCodePage = 0;
inline constexpr int kWindows1252 = 1252;
inline constexpr int kUtf8CodePage = 65001;

bool IsSupportedCodePage(int code_page);

// UTF-8 to the code page's bytes; nullopt when a character has no place in it (never a "?").
[[nodiscard]] std::optional<std::string> EncodeText(std::string_view utf8, int code_page);

// The code page's bytes to UTF-8; nullopt for an unsupported code page or malformed UTF-8.
[[nodiscard]] std::optional<std::string> DecodeText(std::string_view bytes, int code_page);

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_CODE_PAGE_TEXT_H_

#include "msi/db/code_page_text.h"

#include "platform/codepage.h"

namespace kb::msi {

bool IsSupportedCodePage(int code_page) {
  return code_page == kNeutralCodePage || code_page == kWindows1252 || code_page == kUtf8CodePage;
}

std::optional<std::string> EncodeText(std::string_view utf8, int code_page) {
  if (code_page == kUtf8CodePage) {
    if (!platform::IsValidUtf8(utf8)) return std::nullopt;
    return std::string(utf8);
  }
  if (!IsSupportedCodePage(code_page)) return std::nullopt;
  return platform::Utf8ToWindows1252(utf8);
}

std::optional<std::string> DecodeText(std::string_view bytes, int code_page) {
  if (code_page == kUtf8CodePage) {
    if (!platform::IsValidUtf8(bytes)) return std::nullopt;
    return std::string(bytes);
  }
  if (!IsSupportedCodePage(code_page)) return std::nullopt;
  return platform::Windows1252ToUtf8(bytes);
}

}  // namespace kb::msi

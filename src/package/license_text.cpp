#include "package/license_text.h"

#include <optional>

#include "platform/codepage.h"
#include "platform/regular_file.h"

namespace kb {
namespace {

constexpr char kEndOfText = '\x1A';

// The file's bytes as a text-mode read sees them: CR LF pairs as LF, up to a Ctrl-Z or zero.
std::string TextModeBytes(const std::string& raw) {
  std::string text;
  text.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == kEndOfText || c == '\0') break;
    if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text += c;
  }
  return text;
}

// `text` (UTF-8) cut after `count` characters.
std::string FirstCharacters(const std::string& text, std::size_t count) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!platform::IsUtf8Continuation(text[i]) && characters++ == count) return text.substr(0, i);
  }
  return text;
}

}  // namespace

std::string ReadLicenseText(const std::string& path) {
  std::string problem;
  const std::optional<std::string> raw = platform::ReadRegularFile(path, &problem);
  if (!raw) return {};
  return FirstCharacters(platform::Utf8OrWindows1252(TextModeBytes(*raw)), kMaxLicenseTextLength);
}

}  // namespace kb

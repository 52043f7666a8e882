#include "package/identifiers.h"

#include <sys/stat.h>

#include <array>
#include <cstddef>
#include <filesystem>

#include "platform/random_bytes.h"
#include "platform/short_name.h"

namespace kb {

std::string NewGuidText() {
  std::array<std::byte, 16> bytes;
  if (!platform::FillRandomBytes(bytes)) return {};
  bytes[6] = (bytes[6] & std::byte{0x0F}) | std::byte{0x40};  // version 4: random
  bytes[8] = (bytes[8] & std::byte{0x3F}) | std::byte{0x80};  // variant 10xx: RFC 4122
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    const auto value = std::to_integer<unsigned>(bytes[i]);
    text += kDigits[value >> 4];
    text += kDigits[value & 0x0F];
  }
  return text;
}

std::string NewKeyText() {
  std::string guid = NewGuidText();
  if (guid.empty()) return {};
  std::erase(guid, '-');
  return "_" + guid;
}

std::string NewBracedGuidText() {
  const std::string guid = NewGuidText();
  return guid.empty() ? std::string() : "{" + guid + "}";
}

std::string ShortLongFileName(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  const std::string long_name = std::filesystem::path(path).filename().string();
  const std::string short_name = platform::AlternateShortName(long_name);
  return (short_name.empty() ? long_name : short_name) + "|" + long_name;
}

}  // namespace kb

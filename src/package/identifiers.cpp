#include "package/identifiers.h"

#include <sys/stat.h>

#include <array>
#include <cctype>
#include <cstddef>
#include <filesystem>

#include "package/reproducible_identifiers.h"
#include "platform/random_bytes.h"
#include "platform/sha1.h"
#include "platform/short_name.h"

namespace kb {
namespace {

// The registry form of a GUID's 16 bytes, upper case, without braces.
std::string GuidText(const std::array<std::byte, 16>& bytes) {
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

}  // namespace

std::string NewGuidText() {
  std::array<std::byte, 16> bytes;
  if (ReproducibleIdentifiers* source = ReproducibleIdentifiers::Active()) {
    bytes = source->Next();
  } else if (!platform::FillRandomBytes(bytes)) {
    return {};
  }
  bytes[6] = (bytes[6] & std::byte{0x0F}) | std::byte{0x40};  // version 4: random
  bytes[8] = (bytes[8] & std::byte{0x3F}) | std::byte{0x80};  // variant 10xx: RFC 4122
  return GuidText(bytes);
}

std::string NameBasedGuidText(const std::array<std::uint8_t, 16>& name_space,
                              std::string_view name) {
  std::string input(name_space.begin(), name_space.end());
  input += name;
  const auto digest = platform::Sha1(input);
  std::array<std::byte, 16> bytes;
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::byte{digest[i]};
  bytes[6] = (bytes[6] & std::byte{0x0F}) | std::byte{0x50};  // version 5: SHA-1 of a name
  bytes[8] = (bytes[8] & std::byte{0x3F}) | std::byte{0x80};  // variant 10xx: RFC 4122
  return GuidText(bytes);
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

std::optional<std::string> CanonicalGuidText(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
    text = text.substr(1, 36);
  }
  if (text.size() != 36) return std::nullopt;
  std::string guid;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool hyphen_place = i == 8 || i == 13 || i == 18 || i == 23;
    if (hyphen_place ? c != '-' : !std::isxdigit(static_cast<unsigned char>(c))) {
      return std::nullopt;
    }
    guid += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return guid;
}

std::string ShortLongName(std::string_view long_name) {
  const std::string short_name = platform::AlternateShortName(long_name);
  return (short_name.empty() ? std::string(long_name) : short_name) + "|" + std::string(long_name);
}

std::vector<std::string> ShortLongNames(std::span<const std::string> long_names) {
  const std::vector<std::string> short_names = platform::UniqueShortNames(long_names);
  std::vector<std::string> names;
  names.reserve(long_names.size());
  for (std::size_t i = 0; i < long_names.size(); ++i) {
    names.push_back((short_names[i].empty() ? long_names[i] : short_names[i]) + "|" +
                    long_names[i]);
  }
  return names;
}

std::string ShortLongFileName(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  return ShortLongName(std::filesystem::path(path).filename().string());
}

}  // namespace kb

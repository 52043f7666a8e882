#include "platform/short_name.h"

#include <algorithm>

#include "platform/codepage.h"

namespace kb::platform {
namespace {

constexpr std::size_t kMaxBase = 8;
constexpr std::size_t kMaxExtension = 3;
constexpr std::size_t kGeneratedBase = 6;  // leaves room for "~1"

// The ASCII characters an 8.3 name may hold besides letters and digits.
constexpr std::string_view kShortNameSpecials = "!#$%&'()-@^_`{}~";

bool IsShortNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         kShortNameSpecials.find(c) != std::string_view::npos;
}

bool IsValidPart(std::string_view part, std::size_t max_size) {
  return !part.empty() && part.size() <= max_size && std::ranges::all_of(part, IsShortNameChar);
}

bool IsValidShortName(std::string_view name) {
  const std::size_t dot = name.find('.');
  if (dot == std::string_view::npos) return IsValidPart(name, kMaxBase);
  return IsValidPart(name.substr(0, dot), kMaxBase) &&
         IsValidPart(name.substr(dot + 1), kMaxExtension);
}

char ToUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Up to `limit` characters of a short name made from `part`: spaces and dots dropped, valid
// characters upper-cased, every other character (a whole UTF-8 sequence counting as one) "_".
std::string ShortNameCharacters(std::string_view part, std::size_t limit) {
  std::string out;
  for (char c : part) {
    if (out.size() == limit) break;
    if (c == ' ' || c == '.' || IsUtf8Continuation(c)) continue;
    out += IsShortNameChar(c) ? ToUpper(c) : '_';
  }
  return out;
}

}  // namespace

std::string AlternateShortName(std::string_view long_name) {
  if (IsValidShortName(long_name)) return {};
  std::string_view name = long_name;
  name.remove_prefix(std::min(name.find_first_not_of('.'), name.size()));
  const std::size_t dot = name.rfind('.');
  std::string short_name = ShortNameCharacters(name.substr(0, dot), kGeneratedBase) + "~1";
  if (dot != std::string_view::npos) {
    const std::string extension = ShortNameCharacters(name.substr(dot + 1), kMaxExtension);
    if (!extension.empty()) short_name += "." + extension;
  }
  return short_name;
}

}  // namespace kb::platform

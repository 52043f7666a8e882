#include "platform/short_name.h"

#include <algorithm>
#include <set>

#include "platform/codepage.h"
#include "platform/sha1.h"

namespace kb::platform {
namespace {

constexpr std::size_t kMaxBase = 8;
constexpr std::size_t kMaxExtension = 3;
constexpr std::size_t kGeneratedBase = 6;  // leaves room for "~1"
constexpr int kLastPlainNumber = 4;        // past "~4", the base holds a hash
constexpr std::size_t kHashedStart = 2;    // characters of the base kept before the hash

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

// A generated short name's parts: up to six characters of the base and the extension (with its
// dot, or empty).
struct GeneratedParts {
  std::string base;
  std::string extension;
};

GeneratedParts PartsOf(std::string_view long_name) {
  std::string_view name = long_name;
  name.remove_prefix(std::min(name.find_first_not_of('.'), name.size()));
  const std::size_t dot = name.rfind('.');
  GeneratedParts parts{ShortNameCharacters(name.substr(0, dot), kGeneratedBase), {}};
  if (dot != std::string_view::npos) {
    const std::string extension = ShortNameCharacters(name.substr(dot + 1), kMaxExtension);
    if (!extension.empty()) parts.extension = "." + extension;
  }
  return parts;
}

// `start` + "~" + `number`, the start cut so that the whole fits eight characters.
std::string Numbered(std::string_view start, int number) {
  const std::string tail = "~" + std::to_string(number);
  return std::string(start.substr(0, kMaxBase - tail.size())) + tail;
}

// Four hexadecimal digits from a hash of `long_name`.
std::string HashDigits(std::string_view long_name) {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  const auto digest = Sha1(long_name);
  std::string digits;
  for (int i = 0; i < 2; ++i) {
    digits += kDigits[digest[i] >> 4];
    digits += kDigits[digest[i] & 0x0F];
  }
  return digits;
}

std::string UpperAscii(std::string_view name) {
  std::string upper;
  for (char c : name) upper += ToUpper(c);
  return upper;
}

// The first free short name for `long_name` among `taken`, which it joins.
std::string FreeShortName(std::string_view long_name, std::set<std::string>& taken) {
  const GeneratedParts parts = PartsOf(long_name);
  for (int number = 1; number <= kLastPlainNumber; ++number) {
    std::string name = Numbered(parts.base, number) + parts.extension;
    if (taken.insert(name).second) return name;
  }
  const std::string start =
      parts.base.substr(0, std::min(parts.base.size(), kHashedStart)) + HashDigits(long_name);
  for (int number = 1;; ++number) {
    std::string name = Numbered(start, number) + parts.extension;
    if (taken.insert(name).second) return name;
  }
}

}  // namespace

std::string AlternateShortName(std::string_view long_name) {
  if (IsValidShortName(long_name)) return {};
  const GeneratedParts parts = PartsOf(long_name);
  return Numbered(parts.base, 1) + parts.extension;
}

std::vector<std::string> UniqueShortNames(std::span<const std::string> long_names) {
  std::set<std::string> taken;  // upper case
  for (const std::string& name : long_names) {
    if (IsValidShortName(name)) taken.insert(UpperAscii(name));
  }
  std::vector<std::string> short_names;
  short_names.reserve(long_names.size());
  for (const std::string& name : long_names) {
    short_names.push_back(IsValidShortName(name) ? std::string() : FreeShortName(name, taken));
  }
  return short_names;
}

}  // namespace kb::platform

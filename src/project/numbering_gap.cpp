#include "project/numbering_gap.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "project/profile_reader.h"

namespace kb {
namespace {

// Named keys, after which the rest are counted.
constexpr std::size_t kKeysNamed = 10;

struct NumberedList {
  std::string_view section;
  std::string_view prefix;  // before the number
};
constexpr NumberedList kFileList = {"files", "file"};
constexpr NumberedList kIconList = {"icons", "icon"};

std::string PathKey(const NumberedList& list, std::uint64_t number) {
  return std::string(list.prefix) + std::to_string(number) + "path";
}

// The number in `key` after the list's prefix, as a reader spells it (decimal, no leading
// zeros); nullopt for any other key. A number too large to hold counts as the largest.
std::optional<std::uint64_t> KeyNumber(const NumberedList& list, std::string_view key) {
  if (!key.starts_with(list.prefix)) return std::nullopt;
  key.remove_prefix(list.prefix.size());
  const std::size_t digits = std::min(key.find_first_not_of("0123456789"), key.size());
  if (digits == 0 || (digits > 1 && key.front() == '0')) return std::nullopt;
  std::uint64_t number = 0;
  const auto [end, error] = std::from_chars(key.data(), key.data() + digits, number);
  if (error == std::errc::result_out_of_range) return UINT64_MAX;
  return number;
}

// The keys of `list` that a reader never reaches, and where it stops.
std::vector<std::string> IgnoredKeys(const ProfileReader& profile, const NumberedList& list,
                                     std::uint64_t& stop) {
  stop = 0;
  while (!profile.GetString(list.section, PathKey(list, stop)).empty()) ++stop;
  std::vector<std::string> ignored;
  for (std::string& key : profile.Keys(list.section)) {
    const std::optional<std::uint64_t> number = KeyNumber(list, key);
    if (number && *number >= stop && key != PathKey(list, stop)) ignored.push_back(std::move(key));
  }
  return ignored;
}

std::string NamedKeys(const std::vector<std::string>& keys) {
  std::string text;
  for (std::size_t i = 0; i < keys.size() && i < kKeysNamed; ++i) {
    if (i > 0) text += ", ";
    text += keys[i];
  }
  if (keys.size() > kKeysNamed)
    text += " and " + std::to_string(keys.size() - kKeysNamed) + " more";
  return text;
}

}  // namespace

std::optional<std::string> NumberingGapWarning(const std::string& path) {
  const ProfileReader profile = ProfileReader::FromFile(path);
  std::string warning;
  for (const NumberedList& list : {kFileList, kIconList}) {
    std::uint64_t stop = 0;
    const std::vector<std::string> ignored = IgnoredKeys(profile, list, stop);
    if (ignored.empty()) continue;
    warning += warning.empty() ? path + " stops at " : "; it stops at ";
    warning += PathKey(list, stop) + ", so these keys are ignored: " + NamedKeys(ignored);
  }
  if (warning.empty()) return std::nullopt;
  return warning;
}

}  // namespace kb

#include "project/profile_reader.h"

#include "platform/codepage.h"
#include "platform/regular_file.h"

namespace kb {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(ProfileReader::kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(ProfileReader::kBlanks) - first + 1);
}

std::string_view WithoutEnclosingQuotes(std::string_view text) {
  const bool quoted = text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
                      text.back() == text.front();
  return quoted ? text.substr(1, text.size() - 2) : text;
}

// The first `limit` bytes of `utf8`, shortened further so that no character is split.
std::string_view CutAtCharacter(std::string_view utf8, std::size_t limit) {
  if (utf8.size() <= limit) return utf8;
  while (limit > 0 && platform::IsUtf8Continuation(utf8[limit])) --limit;
  return utf8.substr(0, limit);
}

std::string DecodeValue(std::string_view raw) {
  raw = WithoutEnclosingQuotes(TrimBlanks(raw.substr(0, raw.find('\0'))));
  if (platform::IsValidUtf8(raw)) {
    return std::string(CutAtCharacter(raw, ProfileReader::kMaxValueBytes));
  }
  return platform::Windows1252ToUtf8(raw.substr(0, ProfileReader::kMaxValueBytes));
}

std::string ReadWholeFile(const std::string& path) {
  std::string problem;
  return platform::ReadRegularFile(path, &problem).value_or(std::string());
}

}  // namespace

ProfileReader::ProfileReader(std::string_view text) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  Section* section = StartSection("");
  while (!text.empty()) {
    const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
    const std::string_view line = TrimBlanks(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.empty()) continue;
    const std::size_t close = line.find(']');
    if (line.front() == '[' && close != std::string_view::npos) {
      section = StartSection(TrimBlanks(line.substr(1, close - 1)));
    } else if (section != nullptr) {
      AddKey(*section, line);
    }
  }
}

ProfileReader ProfileReader::FromFile(const std::string& path) {
  return ProfileReader(ReadWholeFile(path));
}

std::string ProfileReader::GetString(std::string_view section, std::string_view key) const {
  const auto keys = sections_.find(AsciiLower(section));
  if (keys == sections_.end()) return {};
  const auto value = keys->second.find(AsciiLower(key));
  return value == keys->second.end() ? std::string() : value->second;
}

std::vector<std::string> ProfileReader::Keys(std::string_view section) const {
  std::vector<std::string> keys;
  const auto found = sections_.find(AsciiLower(section));
  if (found == sections_.end()) return keys;
  for (const auto& key : found->second) keys.push_back(key.first);
  return keys;
}

void ProfileReader::Set(std::string_view section, std::string_view key, std::string value) {
  sections_[AsciiLower(section)][AsciiLower(key)] = std::move(value);
}

ProfileReader::Section* ProfileReader::StartSection(std::string_view name) {
  const auto [it, inserted] = sections_.try_emplace(AsciiLower(name));
  return inserted ? &it->second : nullptr;
}

void ProfileReader::AddKey(Section& section, std::string_view line) {
  const std::size_t equals = line.find('=');
  std::string key = AsciiLower(TrimBlanks(line.substr(0, equals)));
  if (section.contains(key)) return;
  const std::string_view raw =
      equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
  section.emplace(std::move(key), DecodeValue(raw));
}

}  // namespace kb

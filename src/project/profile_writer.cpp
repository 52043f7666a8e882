#include "project/profile_writer.h"

#include <algorithm>
#include <optional>

#include "platform/atomic_file.h"
#include "platform/link_target.h"
#include "project/profile_reader.h"

namespace kb {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool IsBlank(char c) {
  return ProfileReader::kBlanks.find(c) != std::string_view::npos;
}

bool IsQuote(char c) {
  return c == '"' || c == '\'';
}

// True when a reader, which trims blanks and removes one pair of enclosing quotes, would
// change the value as it stands.
bool ReaderWouldChange(std::string_view value) {
  if (value.empty()) return false;
  return IsBlank(value.front()) || IsBlank(value.back()) ||
         (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front());
}

std::string StorableValue(std::string_view value) {
  std::string stored(value);
  std::replace_if(
      stored.begin(), stored.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return ReaderWouldChange(stored) ? '"' + stored + '"' : stored;
}

}  // namespace

void ProfileWriter::SetString(std::string_view section, std::string_view key,
                              std::string_view value) {
  auto it = std::find_if(sections_.begin(), sections_.end(),
                         [section](const Section& s) { return s.name == section; });
  if (it == sections_.end()) it = sections_.insert(it, Section{std::string(section), {}});
  it->lines.append(key).append("=").append(StorableValue(value)).append(kLineEnd);
}

bool ProfileWriter::WriteTo(const std::string& path) const {
  std::string text;
  for (const Section& section : sections_) {
    text.append("[").append(section.name).append("]").append(kLineEnd).append(section.lines);
  }
  // Through a symbolic link the file it leads to is replaced, beside itself, and the link stays.
  const std::optional<std::string> target = platform::LinkTarget(path);
  return target && platform::WriteFileAtomically(*target, text);
}

}  // namespace kb

#include "package/shortcut_names.h"

#include "platform/codepage.h"

namespace kb {
namespace {

// The text before the last `mark`, or all of it when there is none.
std::string_view BeforeLast(std::string_view text, char mark) {
  const auto at = text.rfind(mark);
  return at == std::string_view::npos ? text : text.substr(0, at);
}

}  // namespace

std::string IconKey(std::string_view icon_file_name) {
  std::string key(icon_file_name);
  for (auto at = key.find(".ico"); at != std::string::npos; at = key.find(".ico", at + 4)) {
    key.replace(at, 4, ".exe");
  }
  return key;
}

std::string MenuFolderDefaultDir(std::string_view title) {
  constexpr int kShortNameCharacters = 8;
  std::string short_name;
  int characters = 0;
  for (char c : title) {
    if (c == ' ') continue;
    if (!platform::IsUtf8Continuation(c) && ++characters > kShortNameCharacters) break;
    short_name += c;
  }
  return short_name + "|" + std::string(title);
}

std::string ShortcutLabel(std::string_view short_long, std::string_view shortcut_name) {
  if (shortcut_name == "default") return std::string(BeforeLast(short_long, '.'));
  return std::string(BeforeLast(BeforeLast(short_long, '|'), '.')) + "|" +
         std::string(shortcut_name);
}

}  // namespace kb

#include "package/windows_names.h"

#include <algorithm>
#include <array>

namespace kb {
namespace {

constexpr std::string_view kForbiddenCharacters = "<>:\"/\\|?*";

constexpr std::array<std::string_view, 7> kDevices = {"CON",    "PRN",     "AUX",   "NUL",
                                                      "CONIN$", "CONOUT$", "CLOCK$"};
// Devices named by a digit after these.
constexpr std::array<std::string_view, 2> kNumberedDevices = {"COM", "LPT"};
// The digits that make COM and LPT device names: 1 to 9 and the superscripts 1, 2 and 3
// (Windows-1252 has them, so a package can hold them).
constexpr std::array<std::string_view, 12> kDeviceDigits = {
    "1", "2", "3", "4", "5", "6", "7", "8", "9", "\u00B9", "\u00B2", "\u00B3"};

template <std::size_t N>
bool IsListed(const std::array<std::string_view, N>& list, std::string_view name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

bool IsDeviceName(std::string_view name) {
  // Windows reads a device name in front of any extension, and ignores blanks before the dot.
  std::string_view base = name.substr(0, name.find('.'));
  while (base.ends_with(' ')) base.remove_suffix(1);
  const std::string key = WindowsNameKey(base);
  if (IsListed(kDevices, key)) return true;
  const std::string_view stem = std::string_view(key).substr(0, 3);
  return IsListed(kNumberedDevices, stem) &&
         IsListed(kDeviceDigits, std::string_view(key).substr(stem.size()));
}

}  // namespace

std::optional<std::string> WindowsNameProblem(std::string_view name) {
  if (name.empty()) return "is empty";
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "holds a control character";
    if (kForbiddenCharacters.find(c) != std::string_view::npos) {
      return "holds \"" + std::string(1, c) + "\", which Windows does not allow in names";
    }
  }
  if (name.ends_with('.') || name.ends_with(' ')) {
    return "ends in a dot or a space, which Windows does not keep in names";
  }
  if (IsDeviceName(name)) return "is the name of a Windows device";
  return std::nullopt;
}

std::string WindowsNameKey(std::string_view name) {
  std::string key;
  key.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    const auto next = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
    if (c >= 'a' && c <= 'z') {
      key += static_cast<char>(c - 'a' + 'A');
    } else if (c == 0xC3 && next >= 0xA0 && next <= 0xBE && next != 0xB7) {
      key += {'\xC3', static_cast<char>(next - 0x20)};  // à to þ, but ÷
      ++i;
    } else if (c == 0xC3 && next == 0xBF) {
      key += "\u0178";  // ÿ
      ++i;
    } else if (c == 0xC5 && (next == 0x93 || next == 0xA1 || next == 0xBE)) {
      key += {'\xC5', static_cast<char>(next - 1)};  // œ, š, ž
      ++i;
    } else {
      key += static_cast<char>(c);
    }
  }
  return key;
}

}  // namespace kb

#include "framework/keyboard_indicators.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace kb {
namespace {

std::string_view LightSuffix(LockKey key) {
  switch (key) {
    case LockKey::kCapsLock:
      return "::capslock";
    case LockKey::kNumLock:
      return "::numlock";
    case LockKey::kScrollLock:
      return "::scrolllock";
  }
  return {};
}

}  // namespace

std::optional<bool> LockKeyState(LockKey key, std::string_view leds_folder) {
  std::error_code error;
  std::optional<bool> state;
  // Several keyboards may each have a light; the lock is on when any shows it.
  for (std::filesystem::directory_iterator light(leds_folder, error), end; !error && light != end;
       light.increment(error)) {
    if (!light->path().filename().string().ends_with(LightSuffix(key))) continue;
    int brightness = 0;
    if (std::ifstream(light->path() / "brightness") >> brightness) {
      state = state.value_or(false) || brightness > 0;
    }
  }
  return state;
}

}  // namespace kb

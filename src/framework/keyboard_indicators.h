#ifndef KITBINDER_FRAMEWORK_KEYBOARD_INDICATORS_H_
#define KITBINDER_FRAMEWORK_KEYBOARD_INDICATORS_H_

#include <optional>
#include <string_view>

namespace kb {

enum class LockKey { kCapsLock, kNumLock, kScrollLock };

// Whether the keyboard's `key` lock is on, as the system's keyboard lights tell
// (/sys/class/leds/*::capslock and so on); nullopt when the system does not report it (no such
// light, as under a virtual display or a remote session). `leds_folder` is for tests.
std::optional<bool> LockKeyState(LockKey key, std::string_view leds_folder = "/sys/class/leds");

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_KEYBOARD_INDICATORS_H_

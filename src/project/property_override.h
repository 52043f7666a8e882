#ifndef KITBINDER_PROJECT_PROPERTY_OVERRIDE_H_
#define KITBINDER_PROJECT_PROPERTY_OVERRIDE_H_

#include <optional>
#include <string>
#include <string_view>

namespace kb {

// A value of the project file's [properties] section given for one build, in place of the
// file's: `kitbinder-cli build --set version=1.4.2`.
struct PropertyOverride {
  std::string key;
  std::string value;
};

// Parses "KEY=VALUE" (the value may be empty, and may hold '='); nullopt when there is no '='
// or the key is empty.
std::optional<PropertyOverride> ParsePropertyOverride(std::string_view text);

// Whether `key` names a key of the [properties] section, in any letter case.
bool IsPropertyKey(std::string_view key);

}  // namespace kb

#endif  // KITBINDER_PROJECT_PROPERTY_OVERRIDE_H_

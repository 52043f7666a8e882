#include "project/property_override.h"

namespace kb {

std::optional<PropertyOverride> ParsePropertyOverride(std::string_view text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0) return std::nullopt;
  return PropertyOverride{std::string(text.substr(0, equals)),
                          std::string(text.substr(equals + 1))};
}

}  // namespace kb

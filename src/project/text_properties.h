#ifndef KITBINDER_PROJECT_TEXT_PROPERTIES_H_
#define KITBINDER_PROJECT_TEXT_PROPERTIES_H_

#include <array>
#include <string>
#include <string_view>

#include "project/project_settings.h"

namespace kb {

// A text property of a project and its key in the project file's "properties" section.
struct TextProperty {
  std::string_view key;
  std::string CProjectSettings::*member;
};

// The eleven text properties, in the order the project file lists them.
inline constexpr std::array<TextProperty, 11> kTextProperties = {{
    {"title", &CProjectSettings::title},
    {"author", &CProjectSettings::author},
    {"productcode", &CProjectSettings::productcode},
    {"packagecode", &CProjectSettings::packagecode},
    {"upgradecode", &CProjectSettings::upgradecode},
    {"version", &CProjectSettings::version},
    {"comments", &CProjectSettings::comments},
    {"supporturl", &CProjectSettings::supporturl},
    {"eulafile", &CProjectSettings::eulafile},
    {"language", &CProjectSettings::language},
    {"bannerfile", &CProjectSettings::bannerfile},
}};

}  // namespace kb

#endif  // KITBINDER_PROJECT_TEXT_PROPERTIES_H_

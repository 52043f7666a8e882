#ifndef KITBINDER_PROJECT_INSTALL_TARGET_H_
#define KITBINDER_PROJECT_INSTALL_TARGET_H_

#include <optional>
#include <string_view>

namespace kb {

// For whom a package installs.
enum class InstallScope {
  kMachine,  // for all users of the computer; asks for administrator rights
  kUser,     // for the user who installs it, into their profile; no administrator needed
  kBoth,     // the person who installs chooses (a dual-purpose package)
};

// Which Windows a package's programs are built for.
enum class TargetPlatform {
  kX86,  // 32-bit: the 32-bit program folder and registry view
  kX64,  // 64-bit: the 64-bit program folder and registry view; refused by 32-bit Windows
};

// The project file's texts for them: "machine", "user", "both"; "x86", "x64".
std::string_view InstallScopeText(InstallScope scope);
std::string_view TargetPlatformText(TargetPlatform platform);

// The value a text names; nullopt for any other text (letter case counts).
std::optional<InstallScope> InstallScopeFromText(std::string_view text);
std::optional<TargetPlatform> TargetPlatformFromText(std::string_view text);

}  // namespace kb

#endif  // KITBINDER_PROJECT_INSTALL_TARGET_H_

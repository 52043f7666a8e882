#include "project/install_target.h"

#include <array>
#include <utility>

namespace kb {
namespace {

constexpr std::array<std::pair<InstallScope, std::string_view>, 3> kScopeNames = {{
    {InstallScope::kMachine, "machine"},
    {InstallScope::kUser, "user"},
    {InstallScope::kBoth, "both"},
}};
constexpr std::array<std::pair<TargetPlatform, std::string_view>, 2> kPlatformNames = {{
    {TargetPlatform::kX86, "x86"},
    {TargetPlatform::kX64, "x64"},
}};

template <typename Table, typename Value>
std::string_view NameOf(const Table& table, Value value) {
  for (const auto& [held, name] : table) {
    if (held == value) return name;
  }
  return {};
}

template <typename Value, typename Table>
std::optional<Value> ValueOf(const Table& table, std::string_view text) {
  for (const auto& [value, name] : table) {
    if (name == text) return value;
  }
  return std::nullopt;
}

}  // namespace

std::string_view InstallScopeText(InstallScope scope) {
  return NameOf(kScopeNames, scope);
}

std::string_view TargetPlatformText(TargetPlatform platform) {
  return NameOf(kPlatformNames, platform);
}

std::optional<InstallScope> InstallScopeFromText(std::string_view text) {
  return ValueOf<InstallScope>(kScopeNames, text);
}

std::optional<TargetPlatform> TargetPlatformFromText(std::string_view text) {
  return ValueOf<TargetPlatform>(kPlatformNames, text);
}

}  // namespace kb

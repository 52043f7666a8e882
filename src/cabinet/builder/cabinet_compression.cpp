#include "cabinet/builder/cabinet_compression.h"

#include <array>
#include <utility>

namespace kb::cabinet {

std::optional<CabinetCompression> ParseCabinetCompression(std::string_view name) {
  static constexpr std::array<std::pair<std::string_view, CabinetCompression>, 5> kNames = {{
      {"best", CabinetCompression::kBest},
      {"normal", CabinetCompression::kNormal},
      {"fast", CabinetCompression::kFast},
      {"none", CabinetCompression::kNone},
      {"lzx", CabinetCompression::kLzx},
  }};
  for (const auto& [text, compression] : kNames) {
    if (text == name) return compression;
  }
  return std::nullopt;
}

}  // namespace kb::cabinet

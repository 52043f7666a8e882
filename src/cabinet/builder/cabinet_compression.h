#ifndef KITBINDER_CABINET_BUILDER_CABINET_COMPRESSION_H_
#define KITBINDER_CABINET_BUILDER_CABINET_COMPRESSION_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace kb::cabinet {

// How a builder compresses its folders. kBest, kNormal and kFast are MSZIP searched less and
// less thoroughly (the cabinet is the same kind; only time and size differ); kNone stores the
// data as it is; kLzx makes LZX folders with a 2 MB window, the smallest cabinets (each
// folder is coded on one thread).
enum class CabinetCompression : std::uint8_t { kBest, kNormal, kFast, kNone, kLzx };

// The compression a user names: "best", "normal", "fast", "none" or "lzx" (exactly, lower case);
// nullopt for any other text.
std::optional<CabinetCompression> ParseCabinetCompression(std::string_view name);

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_BUILDER_CABINET_COMPRESSION_H_

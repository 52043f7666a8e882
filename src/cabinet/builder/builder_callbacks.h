#ifndef KITBINDER_CABINET_BUILDER_BUILDER_CALLBACKS_H_
#define KITBINDER_CABINET_BUILDER_BUILDER_CALLBACKS_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "cabinet/writer/cabinet_writer.h"

// The cabinet builder's side of the writer's callbacks that need no state of a run: the heap,
// the C-runtime style file access of kb::platform and temporary names "xx...".
namespace kb::cabinet {

// a * 100 / b on 32-bit values without overflow (both scaled down while a passes 10,000,000);
// 0 when b is 0, and at most 100: a folder spread over several cabinets reports its bytes so
// far against the share of the current cabinet.
std::uint32_t Percentage(std::uint32_t a, std::uint32_t b);

// The start of every staging temporary's name; the owner tag (platform::OwnerTag) follows.
inline constexpr std::string_view kTempNamePrefix = "xx";

// Writes a new temporary name "xx<pid>-..." (platform::TempName, in `fallback_folder` when neither
// TMPDIR nor TMP is set and it is not empty) into `buffer`, ending in a NUL. Returns false when
// there is none or it does not fit.
bool WriteTempName(std::string_view fallback_folder, std::span<char> buffer);

// allocate to temporary name, for FCICreate; file_placed is left for the caller to set. None
// of them uses its ctx.
CabinetCallbacks BuilderCallbacks();

// Opens a source file through kb::platform with its MS-DOS date, time and attributes
// (read-only, hidden, archive). `err` is left alone.
int BuilderOpenInfo(const std::string& path, std::uint16_t& date, std::uint16_t& time,
                    std::uint16_t& attributes, int& err, void* ctx);

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_BUILDER_BUILDER_CALLBACKS_H_

#ifndef KITBINDER_CABINET_BUILDER_BUILDER_CALLBACKS_H_
#define KITBINDER_CABINET_BUILDER_BUILDER_CALLBACKS_H_

#include <cstdint>
#include <string>

#include "cabinet/writer/cabinet_writer.h"

// The cabinet builder's side of the writer's callbacks: the heap, the C-runtime style file
// access of kb::platform, temporary names "xx..." and the progress lines on standard output.
namespace kb::cabinet {

// The client context of the builder's callbacks: running totals of the compressed and
// uncompressed bytes of one CreateCabinet, shown by the "Compressing:" line.
struct ProgressTotals {
  std::int64_t compressed = 0;
  std::int64_t uncompressed = 0;
};

// a * 100 / b on 32-bit values without overflow (both scaled down while a passes 10,000,000);
// 0 when b is 0, and at most 100: a folder spread over several cabinets reports its bytes so
// far against the share of the current cabinet.
std::uint32_t Percentage(std::uint32_t a, std::uint32_t b);

// allocate to temporary name and file placed, for FCICreate. REQUIRES: the ctx given to
// FCICreate is a ProgressTotals.
CabinetCallbacks BuilderCallbacks();

// Adds a compressed block to the totals and shows them, or shows the percentage of a folder
// copied into the cabinet. Never asks for an abort.
std::int32_t BuilderStatus(std::uint32_t kind, std::uint32_t value1, std::uint32_t value2,
                           void* ctx);

// Opens a source file through kb::platform with its MS-DOS date, time and attributes
// (read-only, hidden, archive). `err` is left alone.
int BuilderOpenInfo(const std::string& path, std::uint16_t& date, std::uint16_t& time,
                    std::uint16_t& attributes, int& err, void* ctx);

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_BUILDER_BUILDER_CALLBACKS_H_

#include "cli/progress_printer.h"

#include <cinttypes>
#include <cstdio>

namespace kb::cli {
namespace {

void PrintPlacement(const cabinet::CabinetPlacement& placement) {
  std::printf("   placed file '%.*s' (size %" PRIu32 ") on cabinet '%.*s'\n",
              static_cast<int>(placement.name.size()), placement.name.data(), placement.size,
              static_cast<int>(placement.cabinet.size()), placement.cabinet.data());
  if (placement.continuation) {
    std::printf("      (Above file is a later segment of a continued file)\n");
  }
}

void PrintTotals(const cabinet::CabinetProgress& progress) {
  std::printf("Compressing: %9" PRId64 " -> %9" PRId64 "             \r", progress.bytes_done,
              progress.compressed_bytes);
  std::fflush(stdout);
}

void PrintFolderCopying(std::uint32_t percent) {
  std::printf("Copying folder to cabinet: %d%%      \r", static_cast<int>(percent));
  std::fflush(stdout);
}

}  // namespace

cabinet::CabinetObserver ProgressPrinter() {
  return {.block_compressed = PrintTotals,
          .file_placed = PrintPlacement,
          .folder_copying = PrintFolderCopying};
}

}  // namespace kb::cli

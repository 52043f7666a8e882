#include "cabinet/builder/builder_callbacks.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/crt_file_io.h"
#include "platform/dos_file_info.h"
#include "platform/temp_name.h"

namespace kb::cabinet {
namespace {

constexpr std::uint32_t kPercentageScaleLimit = 10000000;

void* Allocate(std::size_t size) {
  return std::malloc(size);
}

void Free(void* block) {
  std::free(block);
}

int Open(const std::string& path, int flags, int mode, int& err, void*) {
  return platform::CrtOpen(path, flags, mode, err);
}

std::int32_t Read(int handle, std::span<std::byte> buffer, int& err, void*) {
  return static_cast<std::int32_t>(platform::CrtRead(handle, buffer, err));
}

std::int32_t Write(int handle, std::span<const std::byte> buffer, int& err, void*) {
  return static_cast<std::int32_t>(platform::CrtWrite(handle, buffer, err));
}

int Close(int handle, int& err, void*) {
  return platform::CrtClose(handle, err);
}

std::int64_t Seek(int handle, std::int64_t distance, int origin, int& err, void*) {
  return platform::CrtSeek(handle, distance, origin, err);
}

int Remove(const std::string& path, int& err, void*) {
  return platform::CrtRemove(path, err);
}

bool TempName(std::span<char> buffer, void*) {
  const std::optional<std::string> name = platform::TempName("xx");
  if (!name || name->size() >= buffer.size()) return false;
  std::copy(name->begin(), name->end(), buffer.begin());
  buffer[name->size()] = '\0';
  return true;
}

int FilePlaced(const CabinetParameters& parameters, std::string_view name, std::uint32_t size,
               bool continuation, void*) {
  std::printf("   placed file '%.*s' (size %" PRIu32 ") on cabinet '%s'\n",
              static_cast<int>(name.size()), name.data(), size, parameters.cabinet_name.data());
  if (continuation) std::printf("      (Above file is a later segment of a continued file)\n");
  return 0;
}

}  // namespace

std::uint32_t Percentage(std::uint32_t a, std::uint32_t b) {
  a = std::min(a, b);
  while (a > kPercentageScaleLimit) {
    a >>= 3;
    b >>= 3;
  }
  return b == 0 ? 0 : a * 100 / b;
}

CabinetCallbacks BuilderCallbacks() {
  return {.file_placed = FilePlaced,
          .allocate = Allocate,
          .free = Free,
          .open = Open,
          .read = Read,
          .write = Write,
          .close = Close,
          .seek = Seek,
          .remove = Remove,
          .temp_name = TempName};
}

std::int32_t BuilderStatus(std::uint32_t kind, std::uint32_t value1, std::uint32_t value2,
                           void* ctx) {
  if (kind == kStatusBlockCompressed) {
    ProgressTotals& totals = *static_cast<ProgressTotals*>(ctx);
    totals.compressed += value1;
    totals.uncompressed += value2;
    std::printf("Compressing: %9" PRId64 " -> %9" PRId64 "             \r", totals.uncompressed,
                totals.compressed);
    std::fflush(stdout);
  } else if (kind == kStatusCopyingFolder) {
    std::printf("Copying folder to cabinet: %d%%      \r",
                static_cast<int>(Percentage(value1, value2)));
    std::fflush(stdout);
  }
  return 0;
}

int BuilderOpenInfo(const std::string& path, std::uint16_t& date, std::uint16_t& time,
                    std::uint16_t& attributes, int&, void*) {
  platform::DosFileInfo info;
  platform::UniqueFd fd = platform::OpenWithDosInfo(path, &info);
  if (!fd.valid()) return -1;
  date = info.date;
  time = info.time;
  attributes = info.attributes;
  return fd.Release();
}

}  // namespace kb::cabinet

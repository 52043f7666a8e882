#include "cabinet/builder/builder_callbacks.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "platform/crt_file_io.h"
#include "platform/dos_file_info.h"
#include "platform/leftover_files.h"
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
  return WriteTempName({}, buffer);
}

}  // namespace

bool WriteTempName(std::string_view fallback_folder, std::span<char> buffer) {
  const std::optional<std::string> name =
      platform::TempName(std::string(kTempNamePrefix) + platform::OwnerTag(), fallback_folder);
  if (!name || name->size() >= buffer.size()) return false;
  std::copy(name->begin(), name->end(), buffer.begin());
  buffer[name->size()] = '\0';
  return true;
}

std::uint32_t Percentage(std::uint32_t a, std::uint32_t b) {
  a = std::min(a, b);
  while (a > kPercentageScaleLimit) {
    a >>= 3;
    b >>= 3;
  }
  return b == 0 ? 0 : a * 100 / b;
}

CabinetCallbacks BuilderCallbacks() {
  return {.file_placed = nullptr,
          .allocate = Allocate,
          .free = Free,
          .open = Open,
          .read = Read,
          .write = Write,
          .close = Close,
          .seek = Seek,
          .remove = Remove,
          .temp_name = TempName,
          .data_apart = nullptr};
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

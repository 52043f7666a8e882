#include "platform/dos_file_info.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/regular_file.h"

namespace kb::platform {
namespace {

constexpr int kFirstDosYear = 1980;
constexpr int kLastDosYear = 2107;

std::tm DosRangeEnd(int year, int month, int day, int hour, int minute, int second) {
  std::tm end{};
  end.tm_year = year - 1900;
  end.tm_mon = month - 1;
  end.tm_mday = day;
  end.tm_hour = hour;
  end.tm_min = minute;
  end.tm_sec = second;
  return end;
}

std::tm ClampToDosRange(const std::tm& local) {
  if (local.tm_year + 1900 < kFirstDosYear) return DosRangeEnd(kFirstDosYear, 1, 1, 0, 0, 0);
  if (local.tm_year + 1900 > kLastDosYear) return DosRangeEnd(kLastDosYear, 12, 31, 23, 59, 58);
  return local;
}

bool NameStartsWithDot(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  return start < path.size() && path[start] == '.';
}

// `when` as broken down by `convert` (localtime_r or gmtime_r) into info's date and time.
void SetBrokenDown(std::time_t when, std::tm* (*convert)(const std::time_t*, std::tm*),
                   DosFileInfo* info) {
  std::tm broken{};
  // A time the conversion cannot represent clamps like any other time before 1980.
  if (convert(&when, &broken) == nullptr) broken = std::tm{};
  broken = ClampToDosRange(broken);
  info->date = static_cast<std::uint16_t>(((broken.tm_year + 1900 - kFirstDosYear) << 9) |
                                          ((broken.tm_mon + 1) << 5) | broken.tm_mday);
  // A leap second (tm_sec 60) would carry into the minute; MS-DOS keeps it at 58.
  const int seconds = broken.tm_sec > 59 ? 59 : broken.tm_sec;
  info->time =
      static_cast<std::uint16_t>((broken.tm_hour << 11) | (broken.tm_min << 5) | (seconds / 2));
}

}  // namespace

void SetDosDateTime(std::time_t when, DosFileInfo* info) {
  SetBrokenDown(when, ::localtime_r, info);
}

void SetUtcDosDateTime(std::time_t when, DosFileInfo* info) {
  SetBrokenDown(when, ::gmtime_r, info);
}

std::uint16_t DosAttributes(const std::string& path, const struct stat& st) {
  std::uint16_t attributes = kDosAttributeArchive;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kDosAttributeReadOnly;
  if (NameStartsWithDot(path)) attributes |= kDosAttributeHidden;
  return attributes;
}

UniqueFd OpenWithDosInfo(const std::string& path, DosFileInfo* info) {
  std::string problem;
  UniqueFd fd = OpenRegularFile(path, &problem);
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) return UniqueFd();
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  SetDosDateTime(st.st_mtime, info);
  info->attributes = DosAttributes(path, st);
  return fd;
}

}  // namespace kb::platform

#ifndef KITBINDER_PLATFORM_DOS_FILE_INFO_H_
#define KITBINDER_PLATFORM_DOS_FILE_INFO_H_

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/unique_fd.h"

// A file's date, time and attributes in the MS-DOS form that archive formats store.
namespace kb::platform {

inline constexpr std::uint16_t kDosAttributeReadOnly = 0x01;
inline constexpr std::uint16_t kDosAttributeHidden = 0x02;
inline constexpr std::uint16_t kDosAttributeArchive = 0x20;

struct DosFileInfo {
  std::uint16_t date = 0;  // bits 15-9 year - 1980, 8-5 month, 4-0 day
  std::uint16_t time = 0;  // bits 15-11 hour, 10-5 minute, 4-0 seconds / 2
  std::uint16_t attributes = 0;
};

// Sets info->date and info->time from `when` in local time. Times before 1980 become
// 1980-01-01 00:00:00 and times after 2107 become 2107-12-31 23:59:58, the ends of the range.
void SetDosDateTime(std::time_t when, DosFileInfo* info);
// The same with `when` in UTC: the same date and time in every time zone.
void SetUtcDosDateTime(std::time_t when, DosFileInfo* info);

// The attributes an archive stores for a file at `path` with status `st`: read-only when no
// write permission bit is set, hidden when the file name starts with ".", archive always.
std::uint16_t DosAttributes(const std::string& path, const struct stat& st);

// Opens the file `path` for sequential reading and fills *info from its modification time and
// attributes. Returns an invalid UniqueFd when the file cannot be opened or is no regular file
// (a folder, or a pipe or device, which is refused without waiting for a writer).
UniqueFd OpenWithDosInfo(const std::string& path, DosFileInfo* info);

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_DOS_FILE_INFO_H_

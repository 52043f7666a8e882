#ifndef KITBINDER_PLATFORM_CRT_FILE_IO_H_
#define KITBINDER_PLATFORM_CRT_FILE_IO_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Low-level file access with the C runtime's flag values and results (the _open family), so
// that code written against those values runs on POSIX. Every function stores errno in `error`
// when it fails and leaves `error` alone otherwise.
namespace kb::platform {

// Values of the C runtime's _open flags. The low two bits select the access mode.
inline constexpr int kCrtReadOnly = 0x0000;
inline constexpr int kCrtWriteOnly = 0x0001;
inline constexpr int kCrtReadWrite = 0x0002;
inline constexpr int kCrtAppend = 0x0008;
inline constexpr int kCrtCreate = 0x0100;
inline constexpr int kCrtTruncate = 0x0200;
inline constexpr int kCrtExclusive = 0x0400;
inline constexpr int kCrtText = 0x4000;
inline constexpr int kCrtBinary = 0x8000;

// Values of the C runtime's permission mode (_S_IREAD, _S_IWRITE).
inline constexpr int kCrtPermissionRead = 0x0100;
inline constexpr int kCrtPermissionWrite = 0x0080;

// Opens `path` with C-runtime `flags` and, when creating, permission `mode`; read permission
// becomes r for everyone and write permission w for everyone, both narrowed by the umask.
// Text and binary mode are the same here. Returns a descriptor the caller must close with
// CrtClose, or -1 (EINVAL for flag bits this layer does not know).
int CrtOpen(const std::string& path, int flags, int mode, int& error);

// Reads up to buffer.size() bytes. Returns the count, 0 at end of file, -1 on failure.
std::int64_t CrtRead(int fd, std::span<std::byte> buffer, int& error);

// Writes all of `buffer`, retrying short writes. Returns buffer.size(), or -1 on failure.
std::int64_t CrtWrite(int fd, std::span<const std::byte> buffer, int& error);

// Returns 0, or -1 on failure.
int CrtClose(int fd, int& error);

// `origin` is 0 (start), 1 (current position) or 2 (end). Returns the new position or -1.
std::int64_t CrtSeek(int fd, std::int64_t distance, int origin, int& error);

// Removes the file `path`. Returns 0, or -1 on failure.
int CrtRemove(const std::string& path, int& error);

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_CRT_FILE_IO_H_

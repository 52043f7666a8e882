#include "package/file_kinds.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#include "package/windows_names.h"
#include "platform/codepage.h"
#include "platform/regular_file.h"

namespace kb {
namespace {

// Enough of an icon's header to count its images; a licence longer than the licence dialog
// shows is checked no further than it shows.
constexpr std::size_t kIconHeaderSize = 6;
constexpr std::size_t kLicenseBytesChecked = 4 * 32000;
constexpr char kEndOfText = '\x1A';

// Reads the first `count` bytes of the file at `path` into *bytes. Returns why there are none
// to read, or nullopt.
std::optional<std::string> ReadFirstBytes(const std::string& path, std::size_t count,
                                          std::string* bytes) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "does not exist";
  std::string problem;
  auto read = platform::ReadRegularFile(path, &problem, count);
  if (!read) return problem;
  *bytes = std::move(*read);
  return std::nullopt;
}

unsigned Byte(const std::string& bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]);
}

bool IsIcon(const std::string& bytes) {
  if (bytes.starts_with("MZ")) return true;
  // ICONDIR: reserved 0, type 1 (icon), then the number of images, little-endian.
  return bytes.size() >= kIconHeaderSize && bytes.starts_with(std::string_view("\0\0\1\0", 4)) &&
         (Byte(bytes, 4) | Byte(bytes, 5) << 8) > 0;
}

// True when `bytes` hold a control character that no text holds (tabs, line and page breaks
// are text). Reading stops at a Ctrl-Z, which ended a text file in MS-DOS.
bool HoldsBinary(const std::string& bytes) {
  for (const char c : bytes) {
    if (c == kEndOfText) return false;
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r' &&
        c != '\x1B') {
      return true;
    }
  }
  return false;
}

template <typename Check>
std::optional<std::string> CheckFile(const std::string& path, std::size_t count, Check check) {
  std::string bytes;
  if (auto problem = ReadFirstBytes(path, count, &bytes)) return problem;
  return check(bytes);
}

}  // namespace

std::optional<std::string> SourceFileProblem(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    return "does not exist (" + std::generic_category().message(errno) + ")";
  }
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    return "is not a file but a pipe, socket or device";
  }
  return std::nullopt;
}

std::optional<std::string> IconFileProblem(const std::string& path) {
  return CheckFile(path, kIconHeaderSize,
                   [](const std::string& bytes) -> std::optional<std::string> {
                     if (IsIcon(bytes)) return std::nullopt;
                     return "is not an icon (.ico) nor a program holding icons (.exe)";
                   });
}

std::optional<std::string> LicenseFileProblem(const std::string& path) {
  return CheckFile(path, kLicenseBytesChecked,
                   [](const std::string& bytes) -> std::optional<std::string> {
                     if (platform::LooksLikeUtf16(bytes)) return "is UTF-16 text";
                     if (HoldsBinary(bytes)) return "is not text";
                     return std::nullopt;
                   });
}

std::optional<std::string> BannerFileProblem(const std::string& path) {
  return CheckFile(path, 3, [](const std::string& bytes) -> std::optional<std::string> {
    if (bytes.starts_with("\xFF\xD8\xFF") || bytes.starts_with("BM")) return std::nullopt;
    return "is not a JPEG or BMP image";
  });
}

std::optional<std::string> ProgramFileProblem(const std::string& path) {
  const std::string extension = std::filesystem::path(path).extension().string();
  return CheckFile(path, 2, [&](const std::string& bytes) -> std::optional<std::string> {
    if (bytes.starts_with("MZ") && WindowsNameKey(extension) == WindowsNameKey(".exe"))
      return std::nullopt;
    return "is not a Windows program (.exe)";
  });
}

}  // namespace kb

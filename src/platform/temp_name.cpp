#include "platform/temp_name.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <filesystem>

#include "platform/random_bytes.h"

namespace kb::platform {
namespace {

constexpr std::string_view kNameAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kRandomLength = 8;
// Names taken by other files are skipped; this many in a row means something else is wrong.
constexpr int kAttempts = 100;

std::optional<std::string> RandomSuffix() {
  std::array<std::byte, kRandomLength> bytes;
  if (!FillRandomBytes(bytes)) return std::nullopt;
  std::string suffix;
  for (const std::byte b : bytes) {
    suffix += kNameAlphabet[static_cast<std::size_t>(b) % kNameAlphabet.size()];
  }
  return suffix;
}

bool NameIsFree(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

// $TMPDIR, else $TMP, else nullopt.
std::optional<std::string> TempVariable() {
  for (const char* variable : {"TMPDIR", "TMP"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return std::string(value);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> TempFolder(std::string_view fallback) {
  if (std::optional<std::string> folder = TempVariable()) return folder;
  if (!fallback.empty()) return std::string(fallback);
  std::error_code error;
  std::filesystem::path current = std::filesystem::current_path(error);
  if (error) return std::nullopt;
  return current.string();
}

std::optional<std::string> TempName(std::string_view prefix, std::string_view fallback) {
  const std::optional<std::string> folder = TempFolder(fallback);
  if (!folder) return std::nullopt;
  std::string stem = *folder;
  if (!stem.ends_with('/')) stem += '/';
  stem += prefix;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::optional<std::string> suffix = RandomSuffix();
    if (!suffix) return std::nullopt;
    std::string path = stem + *suffix;
    if (NameIsFree(path)) return path;
  }
  return std::nullopt;
}

}  // namespace kb::platform

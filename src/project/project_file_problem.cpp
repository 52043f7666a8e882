#include "project/project_file_problem.h"

#include <sys/stat.h>

#include "platform/codepage.h"
#include "platform/regular_file.h"

namespace kb {
namespace {

// Enough of the file to tell UTF-16 text by its byte order mark or its zero bytes.
constexpr std::size_t kStartBytes = 512;

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::optional<std::string> ProjectFileProblem(const std::string& path) {
  if (IsFolder(path)) return path + " is a folder; name the project file (.kbr) in it";
  std::string problem;
  const std::optional<std::string> start = platform::ReadRegularFile(path, &problem, kStartBytes);
  if (!start) return path + " " + problem;
  if (platform::LooksLikeUtf16(*start)) {
    return path + " is UTF-16 text; save it as UTF-8 (or Windows-1252) first";
  }
  return std::nullopt;
}

}  // namespace kb

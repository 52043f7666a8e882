#include "platform/unnamed_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "platform/temp_name.h"

namespace kb::platform {

int OpenUnnamedFile(const std::string& folder) {
  return ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

UniqueFd NewTemporaryFile() {
  const std::optional<std::string> folder = TempFolder();
  if (!folder) return UniqueFd();
  UniqueFd fd(OpenUnnamedFile(*folder));
  if (fd.valid()) return fd;
  std::string pattern = *folder + "/kitbinder-scratch.XXXXXX";
  fd.Reset(::mkostemp(pattern.data(), O_CLOEXEC));
  if (fd.valid()) ::unlink(pattern.c_str());
  return fd;
}

}  // namespace kb::platform

#include "platform/unnamed_file.h"

#include <fcntl.h>

namespace kb::platform {

int OpenUnnamedFile(const std::string& folder) {
  return ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

}  // namespace kb::platform

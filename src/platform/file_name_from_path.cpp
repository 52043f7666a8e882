#include "platform/file_name_from_path.h"

namespace kb::platform {

std::string_view FileNameFromPath(std::string_view path) {
  const std::size_t separator = path.find_last_of("\\/");
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

}  // namespace kb::platform

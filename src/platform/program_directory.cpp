#include "platform/program_directory.h"

#include <filesystem>
#include <system_error>

namespace kb::platform {

std::string ProgramDirectory() {
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : executable.parent_path().string();
}

}  // namespace kb::platform

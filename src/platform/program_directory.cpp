#include "platform/program_directory.h"

#include <filesystem>
#include <system_error>

namespace kb::platform {

std::string ProgramDirectory() {
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : executable.parent_path().string();
}

std::string ProgramDataFile(std::string_view name) {
  const std::filesystem::path program_directory = ProgramDirectory();
  const auto beside = program_directory / name;
  const auto shared = program_directory / ".." / "share" / "kitbinder" / name;
  std::error_code ignored;
  if (!std::filesystem::exists(beside, ignored) && std::filesystem::exists(shared, ignored)) {
    return shared.lexically_normal().string();
  }
  return beside.string();
}

}  // namespace kb::platform

#ifndef KITBINDER_PLATFORM_SCRATCH_FOLDER_H_
#define KITBINDER_PLATFORM_SCRATCH_FOLDER_H_

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace kb::platform {

// A new, private folder under TMPDIR (or /tmp), removed with everything in it on destruction.
// path() is empty when the folder could not be made.
class ScratchFolder {
 public:
  ScratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kitbinder.XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_SCRATCH_FOLDER_H_

#ifndef KITBINDER_PLATFORM_REPLACEMENT_FILE_H_
#define KITBINDER_PLATFORM_REPLACEMENT_FILE_H_

#include <optional>
#include <string>

#include "platform/removal_on_signal.h"
#include "platform/unique_fd.h"

namespace kb::platform {

// The new version of the file at `target`, made under a hidden temporary name in the same folder
// (".<name>.<pid>-XXXXXX") and moved over `target` in one step by Commit, so that `target` is
// either the old file or the whole new one. Until Commit the old file is untouched; an object
// destroyed without a successful Commit removes its temporary file, and so does a program ended
// by a signal (see RemovalOnSignal). The temporary is locked as in use until Commit, and the
// leftovers of replacements of `target` killed outright are removed on construction (see
// RemoveLeftovers).
//
//   ReplacementFile next("Tool.msi");
//   if (!next.valid()) return Report(next.error());
//   Write(next.temp_path());
//   if (!next.Commit()) return Report(next.error());
class ReplacementFile {
 public:
  // Creates the empty temporary file, readable and writable by its owner alone until Commit.
  // valid() tells whether it could be made; error() then tells why not.
  explicit ReplacementFile(std::string target);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  bool valid() const { return fd_.valid(); }
  // The errno value of the last failure (of the creation or of Commit); 0 when none failed.
  int error() const { return error_; }
  const std::string& target() const { return target_; }
  // Where the new content is to be written (by any means, under this name).
  const std::string& temp_path() const { return temp_path_; }
  // The temporary file, open for reading and writing until Commit.
  int fd() const { return fd_.get(); }

  // Flushes the temporary file to disk, gives it the permissions of the file it replaces (those
  // the umask leaves for a new file) and renames it over `target`. Returns false, with error()
  // and errno set, the temporary file removed and `target` untouched, when any step fails.
  // REQUIRES: valid(), and Commit not called before.
  [[nodiscard]] bool Commit();

 private:
  std::string target_;
  std::string temp_path_;
  UniqueFd fd_;
  std::optional<RemovalOnSignal> removal_;
  int error_ = 0;
  bool committed_ = false;
};

// Moves the finished file at `file` over `target` in one step, with the permissions of the file
// it replaces (or those the umask leaves for a new file); across file systems it is copied
// through a ReplacementFile and then removed. Returns false with errno set, `target` untouched,
// when it could not be moved.
[[nodiscard]] bool MoveIntoPlace(const std::string& file, const std::string& target);

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_REPLACEMENT_FILE_H_

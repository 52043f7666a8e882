#include "platform/replacement_file.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/leftover_files.h"

namespace kb::platform {
namespace {

// The folder part of `target` ("" or ending in "/") and the start of its temporaries' names,
// ".<name>.": hidden, so that a folder listing during the work shows the files the user knows.
std::pair<std::string, std::string> TempFolderAndPrefix(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  return {target.substr(0, name_start), "." + target.substr(name_start) + "."};
}

// The permissions of the file being replaced, or those the umask leaves for a new file.
mode_t ReplacementMode(const std::string& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

ReplacementFile::ReplacementFile(std::string target) : target_(std::move(target)) {
  const auto [folder, prefix] = TempFolderAndPrefix(target_);
  // What earlier replacements of this file that were killed outright left behind.
  RemoveLeftovers(folder, prefix);
  temp_path_ = folder + prefix + OwnerTag() + "XXXXXX";
  fd_.Reset(::mkstemp(temp_path_.data()));
  if (!fd_.valid()) {
    error_ = errno;
    temp_path_.clear();
    return;
  }
  LockAsInUse(fd_.get());
  removal_.emplace(temp_path_);
}

ReplacementFile::~ReplacementFile() {
  if (temp_path_.empty() || committed_) return;
  const int cause = errno;
  ::unlink(temp_path_.c_str());
  errno = cause;
}

bool ReplacementFile::Commit() {
  const bool flushed =
      ::fchmod(fd_.get(), ReplacementMode(target_)) == 0 && ::fsync(fd_.get()) == 0;
  const bool closed = fd_.Reset();
  if (!flushed || !closed || ::rename(temp_path_.c_str(), target_.c_str()) != 0) {
    error_ = errno;
    ::unlink(temp_path_.c_str());
    temp_path_.clear();
    errno = error_;
    return false;
  }
  committed_ = true;
  removal_.reset();
  return true;
}

bool MoveIntoPlace(const std::string& file, const std::string& target) {
  if (::chmod(file.c_str(), ReplacementMode(target)) != 0) return false;
  if (::rename(file.c_str(), target.c_str()) == 0) return true;
  if (errno != EXDEV) return false;
  ReplacementFile copy(target);
  std::error_code error;
  if (!copy.valid() ||
      !std::filesystem::copy_file(file, copy.temp_path(),
                                  std::filesystem::copy_options::overwrite_existing, error)) {
    if (error) errno = error.value();
    return false;
  }
  if (!copy.Commit()) return false;
  ::unlink(file.c_str());
  return true;
}

}  // namespace kb::platform

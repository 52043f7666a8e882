#include "package/staged_cabinet.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <span>
#include <string_view>
#include <utility>

#include "platform/crt_file_io.h"
#include "platform/leftover_files.h"

namespace kb {
namespace {

// What comes before the owner tag and the random letters.
constexpr std::string_view kNamePrefix = ".Install-";
// What follows the random letters: the separator, then the first cabinet's number and type.
constexpr std::string_view kSeparator = "-";
constexpr std::string_view kFirstCabinet = "1.cab";

}  // namespace

StagedCabinet::StagedCabinet(std::string folder) : folder_(std::move(folder)) {
  if (!folder_.empty() && !folder_.ends_with('/')) folder_ += '/';
  // What builds killed outright left in this folder; never a live build's cabinets.
  platform::RemoveLeftovers(folder_, kNamePrefix);
  std::string path = folder_ + std::string(kNamePrefix) + platform::OwnerTag() + "XXXXXX" +
                     std::string(kSeparator) + std::string(kFirstCabinet);
  lock_.Reset(::mkstemps(path.data(), static_cast<int>(kSeparator.size() + kFirstCabinet.size())));
  if (!lock_.valid()) return;
  platform::LockAsInUse(lock_.get());
  prefix_ = path.substr(folder_.size(), path.size() - folder_.size() - kFirstCabinet.size());
  removal_.emplace(path);
}

StagedCabinet::~StagedCabinet() {
  if (!valid()) return;
  ::unlink(path(1).c_str());
  // The writer numbers the cabinets of a set without gaps.
  int number = 2;
  while (::unlink(path(number).c_str()) == 0) ++number;
}

std::string StagedCabinet::path(int number) const {
  return folder_ + prefix_ + std::to_string(number) + ".cab";
}

int StagedCabinet::data_file(int number) const {
  const std::size_t index = static_cast<std::size_t>(number - 1);
  return index < data_.size() ? data_[index].file.get() : -1;
}

std::uint64_t StagedCabinet::data_size(int number) const {
  const std::size_t index = static_cast<std::size_t>(number - 1);
  return index < data_.size() ? data_[index].size : 0;
}

std::uint64_t StagedCabinet::size(int number) const {
  struct stat file {};
  const std::uint64_t file_size =
      ::stat(path(number).c_str(), &file) == 0 ? static_cast<std::uint64_t>(file.st_size) : 0;
  return file_size + data_size(number);
}

bool StagedCabinet::JoinData(int number) {
  const platform::UniqueFd file(::open(path(number).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  if (!file.valid()) return false;
  std::vector<std::byte> buffer(std::size_t{1} << 20);
  const std::uint64_t size = data_size(number);
  for (std::uint64_t done = 0; done < size;) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - done));
    const ssize_t got = ::pread(data_file(number), buffer.data(), want, static_cast<off_t>(done));
    if (got == 0) errno = EIO;  // the data is shorter than the writer said
    int error = 0;
    if (got <= 0 ||
        platform::CrtWrite(file.get(), std::span(buffer).first(static_cast<std::size_t>(got)),
                           error) < 0) {
      if (error != 0) errno = error;
      return false;
    }
    done += static_cast<std::uint64_t>(got);
  }
  if (static_cast<std::size_t>(number - 1) < data_.size()) data_[number - 1] = {};
  return true;
}

}  // namespace kb

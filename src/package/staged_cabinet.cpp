#include "package/staged_cabinet.h"

#include <stdlib.h>
#include <unistd.h>

#include <string_view>
#include <utility>

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

}  // namespace kb

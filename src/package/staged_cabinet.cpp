#include "package/staged_cabinet.h"

#include <stdlib.h>
#include <unistd.h>

#include <string_view>

namespace kb {
namespace {

// What follows the random letters: the separator, then the first cabinet's number and type.
constexpr std::string_view kSeparator = "-";
constexpr std::string_view kFirstCabinet = "1.cab";

}  // namespace

StagedCabinet::StagedCabinet() {
  std::string name = ".Install-XXXXXX" + std::string(kSeparator) + std::string(kFirstCabinet);
  const int fd =
      ::mkstemps(name.data(), static_cast<int>(kSeparator.size() + kFirstCabinet.size()));
  if (fd < 0) return;
  ::close(fd);
  prefix_ = name.substr(0, name.size() - kFirstCabinet.size());
  removal_.emplace(name);
}

StagedCabinet::~StagedCabinet() {
  if (!valid()) return;
  ::unlink(path(1).c_str());
  // The writer numbers the cabinets of a set without gaps.
  int number = 2;
  while (::unlink(path(number).c_str()) == 0) ++number;
}

std::string StagedCabinet::path(int number) const {
  return prefix_ + std::to_string(number) + ".cab";
}

}  // namespace kb

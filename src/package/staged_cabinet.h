#ifndef KITBINDER_PACKAGE_STAGED_CABINET_H_
#define KITBINDER_PACKAGE_STAGED_CABINET_H_

#include <optional>
#include <string>

#include "platform/removal_on_signal.h"
#include "platform/unique_fd.h"

namespace kb {

// The cabinet file of one build, under a private name in the project folder: construction
// reserves ".Install-<pid>-XXXXXX-1.cab" there (created exclusively, so that no file of the
// user's and no other build's cabinet can carry that name, and locked as in use while the
// object lives), and destruction removes it together with any further cabinets of the set
// ("-2.cab", ...); the first is removed too should a signal end the program (see
// RemovalOnSignal). Construction first removes the cabinets of builds in the folder that were
// killed outright (see RemoveLeftovers). The cabinet builder writes it under prefix() in
// folder().
class StagedCabinet {
 public:
  // valid() tells whether the name could be reserved in `folder`; errno then tells why not.
  explicit StagedCabinet(std::string folder);
  ~StagedCabinet();
  StagedCabinet(const StagedCabinet&) = delete;
  StagedCabinet& operator=(const StagedCabinet&) = delete;

  bool valid() const { return !prefix_.empty(); }
  // The text in front of the cabinet number, for CabinetBuilder::SetCabinetName.
  const std::string& prefix() const { return prefix_; }
  // The folder the cabinets lie in, ending in "/", for CabinetBuilder::SetCabinetName.
  const std::string& folder() const { return folder_; }
  // The file of cabinet `number` of the set (counted from 1).
  std::string path(int number = 1) const;

 private:
  std::string folder_;
  std::string prefix_;
  platform::UniqueFd lock_;  // holds the lock that marks the cabinet as in use
  std::optional<platform::RemovalOnSignal> removal_;
};

}  // namespace kb

#endif  // KITBINDER_PACKAGE_STAGED_CABINET_H_

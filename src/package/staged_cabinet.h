#ifndef KITBINDER_PACKAGE_STAGED_CABINET_H_
#define KITBINDER_PACKAGE_STAGED_CABINET_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cabinet/builder/cabinet_builder.h"

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
// folder(). When the builder hands each cabinet's data blocks over apart (see
// cabinet::CabinetRunOptions::data_apart), this object keeps them: a cabinet is then its file
// followed by its data, and is joined in a file only where one is needed.
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

  // Keeps the data of the cabinets, in cabinet order, which the files lack.
  void KeepData(std::vector<cabinet::CabinetData> data) { data_ = std::move(data); }
  // The data cabinet `number` keeps apart from its file: an open file and how many bytes of it;
  // -1 and 0 when there is none.
  int data_file(int number) const;
  std::uint64_t data_size(int number) const;
  // The size of cabinet `number`, its file and its data; its data alone when the file cannot be
  // read.
  std::uint64_t size(int number) const;
  // Appends the data of cabinet `number` to its file, which then holds the whole cabinet. False,
  // errno set, when that failed.
  [[nodiscard]] bool JoinData(int number);

 private:
  std::string folder_;
  std::string prefix_;
  platform::UniqueFd lock_;  // holds the lock that marks the cabinet as in use
  std::optional<platform::RemovalOnSignal> removal_;
  std::vector<cabinet::CabinetData> data_;
};

}  // namespace kb

#endif  // KITBINDER_PACKAGE_STAGED_CABINET_H_

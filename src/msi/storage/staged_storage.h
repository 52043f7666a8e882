#ifndef KITBINDER_MSI_STORAGE_STAGED_STORAGE_H_
#define KITBINDER_MSI_STORAGE_STAGED_STORAGE_H_

#include <cstdint>

#include "msi/storage/compound_file.h"
#include "msi/storage/layout.h"
#include "platform/unique_fd.h"

namespace kb::msi {

// A change to one sub-storage waiting for the next commit: its removal, or new contents that
// are the whole tree of another compound file (its streams, its storages and what lies below
// them, the root's CLSID), read from that file, whose descriptor it owns, at commit.
class StagedStorage {
 public:
  static StagedStorage Removal() { return StagedStorage(); }
  // Reads and checks the structures of the compound file open on `file` into *out. kCorrupt
  // when it is no compound file or is damaged (two entries of one storage sharing a name
  // among the damage), kTooLarge for an absurd directory, kIo when it cannot be read.
  // REQUIRES: `file` is open for reading; `stamp` is what it was when its bytes were chosen.
  static StorageError FromFile(platform::UniqueFd file, FileStamp stamp, StagedStorage* out);

  bool removed() const { return removed_; }
  // The structures of the copied file and its descriptor. REQUIRES: !removed().
  const Layout& layout() const { return layout_; }
  int fd() const { return file_.get(); }
  // The size of the largest stream anywhere in the copied tree.
  std::uint64_t largest_stream() const { return largest_stream_; }
  // kIo when the copied file was written to since it was staged (its size or modification
  // time changed), so that no other bytes than the staged ones are stored.
  StorageError CheckUnchanged() const;

 private:
  StagedStorage() = default;
  // Checks what the loader leaves to the reader of names: siblings must differ.
  StorageError CheckNames();

  bool removed_ = true;
  platform::UniqueFd file_;
  FileStamp stamp_;
  Layout layout_;
  std::uint64_t largest_stream_ = 0;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_STORAGE_STAGED_STORAGE_H_

#include "msi/storage/staged_storage.h"

#include <algorithm>
#include <set>
#include <vector>

#include "msi/storage/directory_tree.h"
#include "msi/storage/file_io.h"
#include "msi/storage/layout_loader.h"

namespace kb::msi {

StorageError StagedStorage::FromFile(platform::UniqueFd file, FileStamp stamp, StagedStorage* out) {
  StagedStorage staged;
  if (StorageError e = LoadLayout(file.get(), &staged.layout_); e != StorageError::kNone) {
    return e;
  }
  staged.removed_ = false;
  staged.file_ = std::move(file);
  staged.stamp_ = stamp;
  if (StorageError e = staged.CheckNames(); e != StorageError::kNone) return e;
  *out = std::move(staged);
  return StorageError::kNone;
}

StorageError StagedStorage::CheckNames() {
  // The loader has checked that the tree has no cycle, so this walk ends.
  std::vector<std::uint32_t> storages = {0};
  while (!storages.empty()) {
    const std::uint32_t parent = storages.back();
    storages.pop_back();
    std::set<std::u16string, cfb::NameLess> names;
    for (const std::uint32_t id : ChildrenOf(layout_, parent)) {
      const cfb::DirectoryEntry entry = layout_.Entry(id);
      if (!names.insert(entry.name).second) return StorageError::kCorrupt;
      if (entry.type == cfb::ObjectType::kStorage) storages.push_back(id);
      if (entry.type == cfb::ObjectType::kStream) {
        largest_stream_ = std::max(largest_stream_, entry.size);
      }
    }
  }
  return StorageError::kNone;
}

StorageError StagedStorage::CheckUnchanged() const {
  return StampOf(file_.get()) == stamp_ ? StorageError::kNone : StorageError::kIo;
}

}  // namespace kb::msi

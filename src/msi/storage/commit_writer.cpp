#include "msi/storage/commit_writer.h"

#include <unistd.h>

#include <algorithm>

#include "msi/storage/chain_writer.h"
#include "msi/storage/directory_tree.h"
#include "msi/storage/file_io.h"
#include "msi/storage/mini_stream_writer.h"
#include "msi/storage/sector_allocator.h"
#include "msi/storage/sector_writer.h"
#include "msi/storage/stream_reader.h"

namespace kb::msi {
namespace {

constexpr std::size_t kCopyChunk = 1 << 20;

std::vector<std::byte> ToBytes(std::span<const std::uint32_t> ids) {
  std::vector<std::byte> bytes(ids.size() * 4);
  for (std::size_t i = 0; i < ids.size(); ++i) cfb::StoreU32(bytes.data() + 4 * i, ids[i]);
  return bytes;
}

std::size_t DifatSectorsNeeded(const Layout& layout) {
  const std::size_t beyond_header =
      layout.fat_sectors.size() - std::min(layout.fat_sectors.size(), cfb::kHeaderDifatEntries);
  const std::size_t per_sector = layout.ids_per_sector() - 1;
  return (beyond_header + per_sector - 1) / per_sector;
}

// DIFAT sector `index`: the next FAT sector numbers after the header's, then the next DIFAT
// sector.
std::vector<std::byte> DifatBytes(const Layout& layout, std::size_t index) {
  const std::size_t per_sector = layout.ids_per_sector() - 1;
  std::vector<std::uint32_t> ids(layout.ids_per_sector(), cfb::kFreeSector);
  for (std::size_t i = 0; i < per_sector; ++i) {
    const std::size_t k = cfb::kHeaderDifatEntries + index * per_sector + i;
    if (k < layout.fat_sectors.size()) ids[i] = layout.fat_sectors[k];
  }
  ids[per_sector] =
      index + 1 < layout.difat_sectors.size() ? layout.difat_sectors[index + 1] : cfb::kEndOfChain;
  return ToBytes(ids);
}

StorageError Sync(int fd) {
  return ::fdatasync(fd) == 0 ? StorageError::kNone : StorageError::kIo;
}

// A stream of the file a staged storage copies, read as it is committed there.
class CopiedStream : public ByteSource {
 public:
  CopiedStream(StreamReader* reader, std::uint32_t id, const cfb::DirectoryEntry& entry)
      : reader_(*reader), id_(id), entry_(entry) {}

  std::uint64_t size() const override { return entry_.size; }
  StorageError Read(std::uint64_t offset, std::span<std::byte> out) const override {
    return reader_.Read(id_, entry_, offset, out);
  }

 private:
  StreamReader& reader_;
  std::uint32_t id_;
  const cfb::DirectoryEntry& entry_;
};

class Commit {
 public:
  Commit(int fd, const Layout& committed, Layout* next)
      : fd_(fd),
        committed_(committed),
        next_(*next),
        allocator_(committed, next),
        writer_(fd, committed.sector_shift),
        mini_(fd, committed.Entry(0).size, next, &allocator_, &writer_) {}

  StorageError Run(const StagedMap& staged, const StagedStorageMap& storages, bool* header_tried) {
    StorageError e = ApplyChanges(staged, storages);
    if (e == StorageError::kNone) e = WriteMiniStream();
    if (e == StorageError::kNone) {
      e = RewriteChanged(ToBytes(committed_.minifat), ToBytes(next_.minifat),
                         &next_.minifat_sectors, &allocator_, &writer_);
    }
    if (e == StorageError::kNone) {
      LinkChain(next_.minifat_sectors, &allocator_);
      e = RewriteChanged(committed_.directory, next_.directory, &next_.directory_sectors,
                         &allocator_, &writer_);
    }
    if (e == StorageError::kNone) {
      LinkChain(next_.directory_sectors, &allocator_);
      e = PlaceAllocationTables();
    }
    if (e == StorageError::kNone) e = WriteAllocationTables();
    if (e == StorageError::kNone) e = writer_.Flush();
    if (e == StorageError::kNone) e = Sync(fd_);
    if (e != StorageError::kNone) return e;
    *header_tried = true;
    e = WriteAt(fd_, 0, cfb::SerializeHeader(next_.MakeHeader()));
    if (e == StorageError::kNone) e = Sync(fd_);
    return e;
  }

 private:
  StorageError ApplyChanges(const StagedMap& staged, const StagedStorageMap& storages) {
    children_ = ChildrenOf(committed_, 0);
    for (std::uint32_t id : children_) by_name_.emplace(committed_.Entry(id).name, id);
    for (const auto& [name, storage] : storages) {
      if (StorageError e = ApplyStorage(name, storage); e != StorageError::kNone) return e;
    }
    for (const auto& [name, stream] : staged) {
      if (StorageError e = ApplyStream(name, stream); e != StorageError::kNone) return e;
    }
    if (names_changed_) LinkChildren(next_, 0, std::move(children_));
    return StorageError::kNone;
  }

  // Removes whatever the root holds under `name`, then copies the staged tree there. The copy
  // is not entered by name: a stream removal of the same name concerns what was there before.
  StorageError ApplyStorage(const std::u16string& name, const StagedStorage& storage) {
    if (const auto found = by_name_.find(name); found != by_name_.end()) {
      ReleaseTree(found->second);
      std::erase(children_, found->second);
      by_name_.erase(found);
      names_changed_ = true;
    }
    if (storage.removed()) return StorageError::kNone;
    std::uint32_t id = 0;
    if (StorageError e = CopyTree(name, storage, &id); e != StorageError::kNone) return e;
    children_.push_back(id);
    names_changed_ = true;
    return StorageError::kNone;
  }

  // Frees entry `top` with everything below it: the data of its streams and their entries.
  void ReleaseTree(std::uint32_t top) {
    std::vector<std::uint32_t> pending = {top};
    while (!pending.empty()) {
      const std::uint32_t id = pending.back();
      pending.pop_back();
      const cfb::DirectoryEntry entry = next_.Entry(id);
      if (entry.type == cfb::ObjectType::kStream) {
        ReleaseData(entry);
      } else {
        for (std::uint32_t child : ChildrenOf(next_, id)) pending.push_back(child);
      }
      FreeEntry(id);
    }
  }

  // Copies the tree of the staged file into a new storage entry named `name`, set in *top.
  // Storages are copied a level at a time, without recursion, however deep the file nests.
  StorageError CopyTree(const std::u16string& name, const StagedStorage& storage,
                        std::uint32_t* top) {
    if (StorageError e = storage.CheckUnchanged(); e != StorageError::kNone) return e;
    const Layout& from = storage.layout();
    StreamReader reader(storage.fd(), &from);
    *top = NewEntry();
    next_.SetEntry(*top, CopiedEntry(name, from.Entry(0), cfb::ObjectType::kStorage));
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pending = {{0, *top}};
    while (!pending.empty()) {
      const auto [source, target] = pending.back();
      pending.pop_back();
      std::vector<std::uint32_t> copies;
      for (std::uint32_t child : ChildrenOf(from, source)) {
        const cfb::DirectoryEntry original = from.Entry(child);
        cfb::DirectoryEntry entry = CopiedEntry(original.name, original, original.type);
        const std::uint32_t id = NewEntry();
        if (original.type == cfb::ObjectType::kStream) {
          entry.size = original.size;
          if (StorageError e =
                  WriteData(CopiedStream(&reader, child, original), &entry.start_sector);
              e != StorageError::kNone) {
            return e;
          }
        } else {
          pending.emplace_back(child, id);
        }
        next_.SetEntry(id, entry);
        copies.push_back(id);
      }
      LinkChildren(next_, target, std::move(copies));
    }
    return StorageError::kNone;
  }

  // A new entry named `name` of `type` with the CLSID of `original`; a storage's sector and
  // size are zero, as the format asks.
  static cfb::DirectoryEntry CopiedEntry(const std::u16string& name,
                                         const cfb::DirectoryEntry& original,
                                         cfb::ObjectType type) {
    cfb::DirectoryEntry entry;
    entry.name = name;
    entry.type = type;
    entry.clsid = original.clsid;
    if (type == cfb::ObjectType::kStorage) entry.start_sector = 0;
    return entry;
  }

  // Replaces, adds or removes one stream of the root.
  StorageError ApplyStream(const std::u16string& name, const StagedStream& stream) {
    const auto found = by_name_.find(name);
    if (stream.removed() && found == by_name_.end()) return StorageError::kNone;
    cfb::DirectoryEntry entry;
    std::uint32_t id = found == by_name_.end() ? NewEntry() : found->second;
    if (found != by_name_.end()) {
      entry = next_.Entry(id);
      ReleaseData(entry);
    }
    names_changed_ |= found == by_name_.end() || stream.removed();
    if (stream.removed()) {
      FreeEntry(id);
      std::erase(children_, id);
      return StorageError::kNone;
    }
    if (found == by_name_.end()) children_.push_back(id);
    entry.name = name;
    entry.type = cfb::ObjectType::kStream;
    entry.size = stream.size();
    if (StorageError e = WriteData(stream, &entry.start_sector); e != StorageError::kNone) {
      return e;
    }
    next_.SetEntry(id, entry);
    return StorageError::kNone;
  }

  // The first unallocated entry, adding a directory sector when there is none. The search
  // starts where the last one ended, so copying a large tree stays linear.
  std::uint32_t NewEntry() {
    for (std::uint32_t id = free_from_; id < next_.entry_count(); ++id) {
      const auto entry = cfb::ParseEntry(next_.RawEntry(id), next_.major_version);
      if (entry && entry->type == cfb::ObjectType::kUnallocated) {
        free_from_ = id + 1;
        return id;
      }
    }
    const std::uint32_t first = next_.entry_count();
    next_.directory.resize(next_.directory.size() + next_.sector_size());
    for (std::uint32_t id = first; id < next_.entry_count(); ++id) {
      cfb::ClearEntry(next_.RawEntry(id));
    }
    free_from_ = first + 1;
    return first;
  }

  void FreeEntry(std::uint32_t id) {
    cfb::ClearEntry(next_.RawEntry(id));
    free_from_ = std::min(free_from_, id);
  }

  void ReleaseData(const cfb::DirectoryEntry& entry) {
    if (entry.size == 0) return;
    if (entry.size < cfb::kMiniStreamCutoff) {
      mini_.Release(entry.start_sector, entry.size);
      return;
    }
    std::uint32_t sector = entry.start_sector;
    for (std::uint64_t done = 0; done < entry.size; done += next_.sector_size()) {
      const std::uint32_t following = next_.fat[sector];
      allocator_.Release(sector);
      sector = following;
    }
  }

  StorageError WriteData(const ByteSource& stream, std::uint32_t* start) {
    *start = cfb::kEndOfChain;
    if (stream.size() == 0) return StorageError::kNone;
    if (stream.size() < cfb::kMiniStreamCutoff) return mini_.Write(stream, start);
    std::vector<std::byte> chunk(std::min<std::uint64_t>(kCopyChunk, stream.size()));
    const std::size_t size = next_.sector_size();
    std::uint32_t previous = cfb::kEndOfChain;
    for (std::uint64_t offset = 0; offset < stream.size(); offset += chunk.size()) {
      const auto piece =
          std::span(chunk).first(std::min<std::uint64_t>(chunk.size(), stream.size() - offset));
      if (StorageError e = stream.Read(offset, piece); e != StorageError::kNone) return e;
      for (std::size_t at = 0; at < piece.size(); at += size) {
        const auto sector = allocator_.Allocate(cfb::kEndOfChain);
        if (!sector) return StorageError::kTooLarge;
        if (previous == cfb::kEndOfChain) {
          *start = *sector;
        } else {
          allocator_.Set(previous, *sector);
        }
        previous = *sector;
        const std::size_t length = std::min(size, piece.size() - at);
        if (StorageError e = writer_.Put(*sector, piece.subspan(at, length));
            e != StorageError::kNone) {
          return e;
        }
      }
    }
    return StorageError::kNone;
  }

  StorageError WriteMiniStream() {
    std::uint64_t size = 0;
    if (StorageError e = mini_.Flush(&size); e != StorageError::kNone) return e;
    cfb::DirectoryEntry root = next_.Entry(0);
    root.size = size;
    root.start_sector =
        next_.ministream_sectors.empty() ? cfb::kEndOfChain : next_.ministream_sectors[0];
    next_.SetEntry(0, root);
    return StorageError::kNone;
  }

  // Gives every FAT and DIFAT sector whose contents change a fresh place. Placing one
  // changes FAT entries (and DIFAT entries), which may change further sectors, so this runs
  // until nothing new moves; each sector moves at most once, so it ends.
  StorageError PlaceAllocationTables() {
    const std::size_t per_sector = next_.ids_per_sector();
    for (bool moved = true; moved;) {
      moved = false;
      MarkAllocationTables();
      for (std::size_t k = 0; k < next_.fat.size() / per_sector; ++k) {
        const bool unchanged = k < committed_.fat_sectors.size() && !allocator_.changed(k);
        if (unchanged || IsMarked(fat_moved_, k)) continue;
        if (StorageError e = Move(&next_.fat_sectors, k, cfb::kFatSector, &fat_moved_);
            e != StorageError::kNone) {
          return e;
        }
        moved = true;
      }
      for (std::size_t j = 0; j < DifatSectorsNeeded(next_); ++j) {
        const bool unchanged = j < committed_.difat_sectors.size() &&
                               DifatBytes(committed_, j) == DifatBytes(next_, j);
        if (unchanged || IsMarked(difat_moved_, j)) continue;
        if (StorageError e = Move(&next_.difat_sectors, j, cfb::kDifatSector, &difat_moved_);
            e != StorageError::kNone) {
          return e;
        }
        moved = true;
      }
    }
    return StorageError::kNone;
  }

  // Some writers leave the allocation tables' own sectors marked free; ours are marked, so
  // that nothing taking the FAT at its word can reuse or cut them off.
  void MarkAllocationTables() {
    for (std::uint32_t s : next_.fat_sectors) allocator_.Set(s, cfb::kFatSector);
    for (std::uint32_t s : next_.difat_sectors) allocator_.Set(s, cfb::kDifatSector);
  }

  static bool IsMarked(const std::vector<bool>& marks, std::size_t index) {
    return index < marks.size() && marks[index];
  }

  StorageError Move(std::vector<std::uint32_t>* sectors, std::size_t index, std::uint32_t kind,
                    std::vector<bool>* moved) {
    const auto sector = allocator_.Allocate(kind);
    if (!sector) return StorageError::kTooLarge;
    if (index < sectors->size()) {
      allocator_.Release((*sectors)[index]);
      (*sectors)[index] = *sector;
    } else {
      sectors->push_back(*sector);
    }
    if (moved->size() <= index) moved->resize(index + 1, false);
    (*moved)[index] = true;
    return StorageError::kNone;
  }

  StorageError WriteAllocationTables() {
    const std::size_t per_sector = next_.ids_per_sector();
    for (std::size_t k = 0; k < fat_moved_.size(); ++k) {
      if (!fat_moved_[k]) continue;
      const auto ids = std::span(next_.fat).subspan(k * per_sector, per_sector);
      if (StorageError e = writer_.Put(next_.fat_sectors[k], ToBytes(ids));
          e != StorageError::kNone) {
        return e;
      }
    }
    for (std::size_t j = 0; j < difat_moved_.size(); ++j) {
      if (!difat_moved_[j]) continue;
      if (StorageError e = writer_.Put(next_.difat_sectors[j], DifatBytes(next_, j));
          e != StorageError::kNone) {
        return e;
      }
    }
    return StorageError::kNone;
  }

  int fd_;
  const Layout& committed_;
  Layout& next_;
  SectorAllocator allocator_;
  SectorWriter writer_;
  MiniStreamWriter mini_;
  std::vector<bool> fat_moved_;
  std::vector<bool> difat_moved_;
  std::vector<std::uint32_t> children_;                             // of the root
  std::map<std::u16string, std::uint32_t, cfb::NameLess> by_name_;  // as committed
  bool names_changed_ = false;
  std::uint32_t free_from_ = 1;  // every entry below it is in use
};

}  // namespace

StorageError WriteCommit(int fd, const Layout& committed, const StagedMap& staged,
                         const StagedStorageMap& storages, Layout* next, bool* header_tried) {
  *next = committed;
  *header_tried = false;
  return Commit(fd, committed, next).Run(staged, storages, header_tried);
}

StorageError TrimFile(int fd, const Layout& layout) {
  std::size_t used = layout.fat.size();
  while (used > 0 && layout.fat[used - 1] == cfb::kFreeSector) --used;
  // The tables' own sectors count even where a writer left them marked free.
  for (const auto* list : {&layout.fat_sectors, &layout.difat_sectors}) {
    for (std::uint32_t s : *list) used = std::max<std::size_t>(used, std::size_t{s} + 1);
  }
  std::uint64_t size = 0;
  if (StorageError e = FileSize(fd, &size); e != StorageError::kNone) return e;
  const std::uint64_t wanted = layout.SectorOffset(static_cast<std::uint32_t>(used));
  if (size <= wanted) return StorageError::kNone;
  return ::ftruncate(fd, static_cast<off_t>(wanted)) == 0 ? StorageError::kNone : StorageError::kIo;
}

}  // namespace kb::msi

#include "msi/storage/layout_loader.h"

#include <algorithm>
#include <array>
#include <optional>

#include "msi/storage/file_io.h"

namespace kb::msi {
namespace {

using cfb::kEndOfChain;

// Directories past this many bytes are refused: 131,072 entries is far beyond any database.
constexpr std::size_t kMaxDirectoryBytes = 16u << 20;

StorageError Check(bool ok) {
  return ok ? StorageError::kNone : StorageError::kCorrupt;
}

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) {
  return a / b + (a % b != 0);
}

class Loader {
 public:
  Loader(int fd, Layout* layout) : fd_(fd), out_(*layout) {}

  StorageError Run() {
    StorageError e = ReadHeader();
    if (e == StorageError::kNone) e = LoadFatSectorList();
    if (e == StorageError::kNone) e = ReadSectors(out_.fat_sectors, &out_.fat);
    if (e == StorageError::kNone) e = LoadDirectory();
    if (e == StorageError::kNone) e = LoadMiniFat();
    if (e == StorageError::kNone) e = LoadMiniStream();
    if (e == StorageError::kNone) e = CheckTree();
    return e;
  }

 private:
  StorageError ReadHeader() {
    std::uint64_t file_size = 0;
    if (FileSize(fd_, &file_size) != StorageError::kNone) return StorageError::kIo;
    std::array<std::byte, cfb::kHeaderSize> bytes;
    if (file_size < bytes.size()) return StorageError::kCorrupt;
    if (StorageError e = ReadAt(fd_, 0, bytes); e != StorageError::kNone) return e;
    const auto header = cfb::ParseHeader(bytes);
    if (!header || file_size < header->sector_size()) return StorageError::kCorrupt;
    header_ = *header;
    out_.major_version = header_.major_version;
    out_.sector_shift = header_.sector_shift;
    sector_count_ = CeilDiv(file_size - header_.sector_size(), header_.sector_size());
    claimed_.assign(sector_count_, false);
    return StorageError::kNone;
  }

  // A sector number that lies in the file and no other structure has taken.
  bool Claim(std::uint32_t sector) {
    if (sector >= sector_count_ || claimed_[sector]) return false;
    claimed_[sector] = true;
    return true;
  }

  StorageError LoadFatSectorList() {
    const std::uint32_t count = header_.fat_sector_count;
    if (count > sector_count_) return StorageError::kCorrupt;
    auto& list = out_.fat_sectors;
    for (std::size_t i = 0; i < std::min<std::size_t>(count, cfb::kHeaderDifatEntries); ++i) {
      list.push_back(header_.difat[i]);
    }
    const std::uint32_t per_sector = out_.ids_per_sector() - 1;
    std::vector<std::byte> sector(out_.sector_size());
    std::uint32_t next = header_.first_difat_sector;
    while (list.size() < count) {
      if (!Claim(next)) return StorageError::kCorrupt;
      out_.difat_sectors.push_back(next);
      if (StorageError e = ReadAt(fd_, out_.SectorOffset(next), sector); e != StorageError::kNone) {
        return e;
      }
      for (std::uint32_t i = 0; i < per_sector && list.size() < count; ++i) {
        list.push_back(cfb::LoadU32(sector.data() + 4 * i));
      }
      next = cfb::LoadU32(sector.data() + 4 * per_sector);
    }
    for (std::uint32_t s : list) {
      if (!Claim(s)) return StorageError::kCorrupt;
    }
    return StorageError::kNone;
  }

  // Reads whole sectors into *out (as bytes or as 32-bit entries), one read per run of
  // neighbouring sectors.
  template <typename T>
  StorageError ReadSectors(const std::vector<std::uint32_t>& sectors, std::vector<T>* out) {
    const std::size_t size = out_.sector_size();
    out->assign(sectors.size() * size / sizeof(T), T{});
    auto* base = reinterpret_cast<std::byte*>(out->data());
    for (std::size_t i = 0; i < sectors.size();) {
      std::size_t run = 1;
      while (i + run < sectors.size() && sectors[i + run] == sectors[i] + run) ++run;
      const std::span<std::byte> target(base + i * size, run * size);
      if (StorageError e = ReadAt(fd_, out_.SectorOffset(sectors[i]), target);
          e != StorageError::kNone) {
        return e;
      }
      i += run;
    }
    if constexpr (sizeof(T) == 4) {
      for (T& v : *out) v = cfb::LoadU32(reinterpret_cast<const std::byte*>(&v));
    }
    return StorageError::kNone;
  }

  // Follows a chain through the FAT from `start`, claiming its sectors. With `expected`, the
  // chain must have exactly that many sectors. Sectors go to *chain when it is given.
  StorageError FollowChain(std::uint32_t start, std::optional<std::uint64_t> expected,
                           std::vector<std::uint32_t>* chain) {
    std::uint64_t length = 0;
    for (std::uint32_t s = start; s != kEndOfChain; s = out_.fat[s]) {
      if ((expected && length == *expected) || s >= out_.fat.size() || !Claim(s)) {
        return StorageError::kCorrupt;
      }
      if (chain) chain->push_back(s);
      ++length;
    }
    return Check(!expected || length == *expected);
  }

  StorageError LoadDirectory() {
    auto& chain = out_.directory_sectors;
    if (StorageError e = FollowChain(header_.first_directory_sector, std::nullopt, &chain);
        e != StorageError::kNone) {
      return e;
    }
    if (chain.empty()) return StorageError::kCorrupt;
    if (chain.size() * out_.sector_size() > kMaxDirectoryBytes) return StorageError::kTooLarge;
    return ReadSectors(chain, &out_.directory);
  }

  StorageError LoadMiniFat() {
    StorageError e = FollowChain(header_.first_minifat_sector, std::nullopt, &out_.minifat_sectors);
    return e == StorageError::kNone ? ReadSectors(out_.minifat_sectors, &out_.minifat) : e;
  }

  StorageError LoadMiniStream() {
    const auto root = cfb::ParseEntry(out_.RawEntry(0), out_.major_version);
    if (!root || root->type != cfb::ObjectType::kRoot) return StorageError::kCorrupt;
    const std::uint64_t mini_sectors = CeilDiv(root->size, cfb::kMiniSectorSize);
    mini_claimed_.assign(std::min<std::uint64_t>(mini_sectors, out_.minifat.size()), false);
    if (root->size == 0) return StorageError::kNone;
    return FollowChain(root->start_sector, CeilDiv(root->size, out_.sector_size()),
                       &out_.ministream_sectors);
  }

  StorageError FollowMiniChain(std::uint32_t start, std::uint64_t expected) {
    std::uint64_t length = 0;
    for (std::uint32_t s = start; s != kEndOfChain; s = out_.minifat[s]) {
      if (length == expected || s >= mini_claimed_.size() || mini_claimed_[s]) {
        return StorageError::kCorrupt;
      }
      mini_claimed_[s] = true;
      ++length;
    }
    return Check(length == expected);
  }

  StorageError CheckStream(const cfb::DirectoryEntry& entry) {
    if (entry.size == 0) return StorageError::kNone;
    if (entry.size < cfb::kMiniStreamCutoff) {
      return FollowMiniChain(entry.start_sector, CeilDiv(entry.size, cfb::kMiniSectorSize));
    }
    return FollowChain(entry.start_sector, CeilDiv(entry.size, out_.sector_size()), nullptr);
  }

  // Visits every entry below the root once, without recursion, so a deep or looping tree in
  // a damaged file can neither exhaust the stack nor hang.
  StorageError CheckTree() {
    std::vector<bool> visited(out_.entry_count(), false);
    visited[0] = true;
    std::vector<std::uint32_t> pending = {out_.Entry(0).child};
    while (!pending.empty()) {
      const std::uint32_t id = pending.back();
      pending.pop_back();
      if (id == cfb::kNoStream) continue;
      if (id >= visited.size() || visited[id]) return StorageError::kCorrupt;
      visited[id] = true;
      const auto entry = cfb::ParseEntry(out_.RawEntry(id), out_.major_version);
      if (!entry) return StorageError::kCorrupt;
      if (entry->type == cfb::ObjectType::kStorage) {
        pending.push_back(entry->child);
      } else if (entry->type != cfb::ObjectType::kStream) {
        return StorageError::kCorrupt;
      } else if (StorageError e = CheckStream(*entry); e != StorageError::kNone) {
        return e;
      }
      pending.push_back(entry->left);
      pending.push_back(entry->right);
    }
    return StorageError::kNone;
  }

  int fd_;
  Layout& out_;
  cfb::Header header_;
  std::uint64_t sector_count_ = 0;
  std::vector<bool> claimed_;
  std::vector<bool> mini_claimed_;
};

}  // namespace

StorageError LoadLayout(int fd, Layout* layout) {
  *layout = Layout();
  return Loader(fd, layout).Run();
}

}  // namespace kb::msi

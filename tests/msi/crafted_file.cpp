#include "crafted_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kb::msi::test {
namespace {

constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatMark = 0xFFFFFFFD,
                        kNone = 0xFFFFFFFF;

void Put16(std::vector<std::byte>& b, std::size_t at, std::uint16_t v) {
  std::memcpy(b.data() + at, &v, 2);
}
void Put32(std::vector<std::byte>& b, std::size_t at, std::uint32_t v) {
  std::memcpy(b.data() + at, &v, 4);
}

struct Entry {
  std::u16string name;
  std::uint8_t type;  // 1 storage, 2 stream, 5 root
  std::vector<std::byte> data;
  std::vector<std::uint32_t> children;
  std::uint32_t start = kEnd;
  std::uint32_t left = kNone, right = kNone, child = kNone;
};

bool NameBefore(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto up = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
    if (up(a[i]) != up(b[i])) return up(a[i]) < up(b[i]);
  }
  return false;
}

class Crafter {
 public:
  explicit Crafter(int shift) : size_(std::size_t{1} << shift), shift_(shift) {}

  std::vector<std::byte> Build(const Clsid& clsid, const std::vector<CraftedStream>& streams,
                               const std::vector<CraftedStorage>& storages) {
    entries_.push_back({u"Root Entry", 5, {}, {}});
    for (const auto& s : streams) {
      const std::uint32_t id = AddStream(s);
      entries_[0].children.push_back(id);
    }
    for (const auto& storage : storages) {
      const auto id = static_cast<std::uint32_t>(entries_.size());
      entries_.push_back({storage.name, 1, {}, {}});
      entries_[0].children.push_back(id);
      for (const auto& s : storage.streams) {
        const std::uint32_t child = AddStream(s);
        entries_[id].children.push_back(child);
      }
    }
    for (auto& e : entries_) LinkAsList(e);
    for (auto& e : entries_) {
      if (e.type == 2 && e.data.size() >= 4096) e.start = Place(e.data);
    }
    entries_[0].start = mini_stream_.empty() ? kEnd : Place(mini_stream_);
    const std::uint32_t minifat_start = minifat_.empty() ? kEnd : Place(Bytes(minifat_));
    const std::uint32_t dir_start = Place(DirectoryBytes());
    const std::uint32_t dir_count = static_cast<std::uint32_t>(fat_.size()) - dir_start;
    // FAT sectors go last; each covers size_/4 sectors including the FAT's own.
    std::size_t fat_count = 1;
    while (fat_count * (size_ / 4) < fat_.size() + fat_count) ++fat_count;
    const auto fat_start = static_cast<std::uint32_t>(fat_.size());
    for (std::size_t i = 0; i < fat_count; ++i) fat_.push_back(kFatMark);
    fat_.resize(fat_count * (size_ / 4), kFree);
    body_.resize((fat_start)*size_);
    const auto fat_bytes = Bytes(fat_);
    body_.insert(body_.end(), fat_bytes.begin(), fat_bytes.end());

    std::vector<std::byte> file(size_, std::byte{0});
    const std::uint8_t sig[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(file.data(), sig, 8);
    Put16(file, 0x18, 0x3E);
    Put16(file, 0x1A, shift_ == 9 ? 3 : 4);
    Put16(file, 0x1C, 0xFFFE);
    Put16(file, 0x1E, static_cast<std::uint16_t>(shift_));
    Put16(file, 0x20, 6);
    Put32(file, 0x28, shift_ == 9 ? 0 : dir_count);
    Put32(file, 0x2C, static_cast<std::uint32_t>(fat_count));
    Put32(file, 0x30, dir_start);
    Put32(file, 0x38, 4096);
    Put32(file, 0x3C, minifat_start);
    Put32(file, 0x40, static_cast<std::uint32_t>((minifat_.size() * 4 + size_ - 1) / size_));
    Put32(file, 0x44, kEnd);
    for (std::size_t i = 0; i < 109; ++i) {
      Put32(file, 0x4C + 4 * i, i < fat_count ? fat_start + static_cast<std::uint32_t>(i) : kFree);
    }
    clsid_ = clsid;
    WriteDirectory();
    file.insert(file.end(), body_.begin(), body_.end());
    return file;
  }

 private:
  std::uint32_t AddStream(const CraftedStream& s) {
    const auto id = static_cast<std::uint32_t>(entries_.size());
    entries_.push_back({s.name, 2, s.data, {}});
    if (!s.data.empty() && s.data.size() < 4096) {
      entries_.back().start = static_cast<std::uint32_t>(minifat_.size());
      const std::size_t count = (s.data.size() + 63) / 64;
      for (std::size_t i = 0; i < count; ++i) {
        minifat_.push_back(i + 1 < count ? static_cast<std::uint32_t>(minifat_.size() + 1) : kEnd);
      }
      mini_stream_.insert(mini_stream_.end(), s.data.begin(), s.data.end());
      mini_stream_.resize(minifat_.size() * 64, std::byte{0});
    }
    return id;
  }

  void LinkAsList(Entry& parent) {
    auto& c = parent.children;
    std::sort(c.begin(), c.end(), [&](std::uint32_t a, std::uint32_t b) {
      return NameBefore(entries_[a].name, entries_[b].name);
    });
    if (c.empty()) return;
    parent.child = c[0];
    for (std::size_t i = 0; i + 1 < c.size(); ++i) entries_[c[i]].right = c[i + 1];
  }

  // Appends `data` as a new chain of sectors; returns its first sector.
  std::uint32_t Place(const std::vector<std::byte>& data) {
    const auto first = static_cast<std::uint32_t>(fat_.size());
    const std::size_t count = (data.size() + size_ - 1) / size_;
    for (std::size_t i = 0; i < count; ++i) {
      fat_.push_back(i + 1 < count ? first + static_cast<std::uint32_t>(i) + 1 : kEnd);
    }
    body_.insert(body_.end(), data.begin(), data.end());
    body_.resize(fat_.size() * size_, std::byte{0});
    if (&data == &directory_) directory_at_ = first;
    return first;
  }

  std::vector<std::byte> Bytes(const std::vector<std::uint32_t>& ids) {
    std::vector<std::byte> b(ids.size() * 4);
    std::memcpy(b.data(), ids.data(), b.size());
    b.resize((b.size() + size_ - 1) / size_ * size_);
    for (std::size_t i = ids.size() * 4; i < b.size(); i += 4) Put32(b, i, kFree);
    return b;
  }

  // Reserves the directory's sectors; their contents are written once every start is known.
  const std::vector<std::byte>& DirectoryBytes() {
    const std::size_t per_sector = size_ / 128;
    const std::size_t count = (entries_.size() + per_sector - 1) / per_sector;
    directory_.assign(count * size_, std::byte{0});
    return directory_;
  }

  void WriteDirectory() {
    for (std::size_t i = 0; i < directory_.size() / 128; ++i) {
      std::vector<std::byte> raw(128, std::byte{0});
      Put32(raw, 0x44, kNone);
      Put32(raw, 0x48, kNone);
      Put32(raw, 0x4C, kNone);
      if (i < entries_.size()) {
        const Entry& e = entries_[i];
        std::memcpy(raw.data(), e.name.data(), e.name.size() * 2);
        Put16(raw, 0x40, static_cast<std::uint16_t>(e.name.size() * 2 + 2));
        raw[0x42] = std::byte{e.type};
        raw[0x43] = std::byte{1};
        Put32(raw, 0x44, e.left);
        Put32(raw, 0x48, e.right);
        Put32(raw, 0x4C, e.child);
        if (e.type == 5) std::memcpy(raw.data() + 0x50, clsid_.data(), 16);
        const std::uint64_t size = e.type == 5 ? mini_stream_.size() : e.data.size();
        Put32(raw, 0x74, e.type == 1 ? 0 : e.start);
        std::memcpy(raw.data() + 0x78, &size, 8);
      }
      std::memcpy(body_.data() + directory_at_ * size_ + i * 128, raw.data(), 128);
    }
  }

  std::size_t size_;
  int shift_;
  Clsid clsid_{};
  std::vector<Entry> entries_;
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> minifat_;
  std::vector<std::byte> mini_stream_;
  std::vector<std::byte> directory_;
  std::uint32_t directory_at_ = 0;
  std::vector<std::byte> body_;
};

}  // namespace

std::vector<std::byte> CraftCompoundFile(int sector_shift, const Clsid& clsid,
                                         const std::vector<CraftedStream>& streams,
                                         const std::vector<CraftedStorage>& storages) {
  return Crafter(sector_shift).Build(clsid, streams, storages);
}

}  // namespace kb::msi::test

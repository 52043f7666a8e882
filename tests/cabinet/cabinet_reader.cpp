#include "cabinet/cabinet_reader.h"

namespace kb::test {
namespace {

// A bounds-checked little-endian cursor; once a read fails every later read fails too.
class Cursor {
 public:
  Cursor(std::string_view bytes, std::size_t at) : bytes_(bytes), at_(at) {}
  bool ok() const { return ok_; }
  std::size_t at() const { return at_; }

  std::uint32_t Uint(std::size_t width) {
    if (!Need(width)) return 0;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
      value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes_[at_ + i])) << (8 * i);
    }
    at_ += width;
    return value;
  }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Uint(2)); }
  std::uint32_t U32() { return Uint(4); }
  std::string Bytes(std::size_t n) {
    if (!Need(n)) return {};
    std::string out(bytes_.substr(at_, n));
    at_ += n;
    return out;
  }
  std::string CString() {
    const std::size_t end = bytes_.find('\0', at_);
    if (end == std::string_view::npos) return ok_ = false, std::string();
    std::string out(bytes_.substr(at_, end - at_));
    at_ = end + 1;
    return out;
  }

 private:
  bool Need(std::size_t n) {
    if (at_ + n > bytes_.size()) ok_ = false;
    return ok_;
  }
  std::string_view bytes_;
  std::size_t at_;
  bool ok_ = true;
};

void ReadBlocks(std::string_view bytes, const CabLayout& cab, std::uint16_t count,
                CabFolder& folder, bool& ok) {
  Cursor c(bytes, folder.first_block_offset);
  for (std::uint16_t i = 0; i < count; ++i) {
    CabBlock block;
    block.checksum = c.U32();
    block.compressed_size = c.U16();
    block.uncompressed_size = c.U16();
    c.Bytes(cab.data_reserve);
    block.data = c.Bytes(block.compressed_size);
    folder.blocks.push_back(std::move(block));
  }
  ok = ok && c.ok();
}

}  // namespace

std::optional<CabLayout> ReadCabinetLayout(std::string_view bytes) {
  CabLayout cab;
  Cursor c(bytes, 0);
  cab.signature = c.Bytes(4);
  c.U32();
  cab.cabinet_size = c.U32();
  c.U32();
  cab.files_offset = c.U32();
  c.U32();
  c.U16();  // version
  const std::uint16_t folder_count = c.U16();
  const std::uint16_t file_count = c.U16();
  cab.flags = c.U16();
  cab.set_id = c.U16();
  cab.cabinet_index = c.U16();
  if (cab.flags & 4) {
    cab.header_reserve = c.U16();
    cab.folder_reserve = static_cast<std::uint8_t>(c.Uint(1));
    cab.data_reserve = static_cast<std::uint8_t>(c.Uint(1));
    c.Bytes(cab.header_reserve);
  }
  if (cab.flags & 1) cab.previous_cabinet = c.CString(), cab.previous_disk = c.CString();
  if (cab.flags & 2) cab.next_cabinet = c.CString(), cab.next_disk = c.CString();
  std::vector<std::uint16_t> block_counts;
  for (std::uint16_t i = 0; i < folder_count; ++i) {
    CabFolder folder;
    folder.first_block_offset = c.U32();
    block_counts.push_back(c.U16());
    folder.compression_type = c.U16();
    c.Bytes(cab.folder_reserve);
    cab.folders.push_back(folder);
  }
  bool ok = c.ok();
  Cursor f(bytes, cab.files_offset);
  for (std::uint16_t i = 0; i < file_count; ++i) {
    CabFile file;
    file.size = f.U32();
    file.folder_offset = f.U32();
    file.folder = f.U16();
    file.date = f.U16();
    file.time = f.U16();
    file.attributes = f.U16();
    file.name = f.CString();
    cab.files.push_back(file);
  }
  ok = ok && f.ok();
  for (std::size_t i = 0; i < cab.folders.size(); ++i) {
    ReadBlocks(bytes, cab, block_counts[i], cab.folders[i], ok);
  }
  if (!ok) return std::nullopt;
  return cab;
}

}  // namespace kb::test

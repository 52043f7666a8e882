#include "package/cabinet_contents.h"

#include <fstream>
#include <span>

#include "cabinet/writer/cabinet_format.h"

namespace kb {
namespace {

// Up to `count` bytes of `in` from `offset`; fewer at the end of the file.
std::string ReadAt(std::ifstream& in, std::uint64_t offset, std::size_t count) {
  std::string bytes(count, '\0');
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

}  // namespace

std::optional<std::vector<CabinetFileRecord>> CabinetFileRecords(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string head = ReadAt(in, 0, cabinet::kHeaderSize);
  if (head.size() < cabinet::kHeaderSize) return std::nullopt;
  const cabinet::CabinetHeader header = cabinet::DecodeHeader(std::as_bytes(std::span(head)));
  if (!header.complete) return std::nullopt;
  // The file records follow one another, each a fixed part and a name of at most 255 bytes and
  // its terminator.
  const std::size_t most =
      header.file_count * (cabinet::kFileRecordSize + cabinet::kMaxNameLength + 1);
  const std::string records = ReadAt(in, header.files_offset, most);
  std::vector<CabinetFileRecord> found;
  std::size_t at = 0;
  for (int file = 0; file < header.file_count; ++file) {
    const std::size_t name_start = at + cabinet::kFileRecordSize;
    const std::size_t name_end = records.find('\0', std::min(name_start, records.size()));
    if (name_end == std::string::npos) return std::nullopt;
    const auto record = cabinet::DecodeFileRecord(std::as_bytes(std::span(records)).subspan(at));
    found.push_back({.name = records.substr(name_start, name_end - name_start),
                     .size = record.size,
                     .continued = record.folder == cabinet::kContinuedFromPrevious ||
                                  record.folder == cabinet::kContinuedPreviousAndNext});
    at = name_end + 1;
  }
  return found;
}

}  // namespace kb

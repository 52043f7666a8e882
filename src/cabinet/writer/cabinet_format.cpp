#include "cabinet/writer/cabinet_format.h"

#include <algorithm>

namespace kb::cabinet {
namespace {

void Put16(std::span<std::byte> out, std::size_t at, std::uint16_t value) {
  out[at] = static_cast<std::byte>(value & 0xFF);
  out[at + 1] = static_cast<std::byte>(value >> 8);
}

void Put32(std::span<std::byte> out, std::size_t at, std::uint32_t value) {
  Put16(out, at, static_cast<std::uint16_t>(value & 0xFFFF));
  Put16(out, at + 2, static_cast<std::uint16_t>(value >> 16));
}

std::uint16_t Get16(std::span<const std::byte> in, std::size_t at) {
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(in[at]) |
                                    std::to_integer<unsigned>(in[at + 1]) << 8);
}

std::uint32_t Get32(std::span<const std::byte> in, std::size_t at) {
  return Get16(in, at) | static_cast<std::uint32_t>(Get16(in, at + 2)) << 16;
}

constexpr std::array<std::byte, 4> kSignatureIncomplete = {std::byte{'!'}, std::byte{'C'},
                                                           std::byte{'A'}, std::byte{'B'}};
constexpr std::uint8_t kVersionMinor = 3;
constexpr std::uint8_t kVersionMajor = 1;

}  // namespace

void EncodeHeader(const CabinetHeader& header, std::span<std::byte> out) {
  const auto& signature = header.complete ? kSignatureComplete : kSignatureIncomplete;
  std::copy(signature.begin(), signature.end(), out.begin());
  Put32(out, 4, 0);
  Put32(out, 8, header.cabinet_size);
  Put32(out, 12, 0);
  Put32(out, 16, header.files_offset);
  Put32(out, 20, 0);
  out[24] = static_cast<std::byte>(kVersionMinor);
  out[25] = static_cast<std::byte>(kVersionMajor);
  Put16(out, 26, header.folder_count);
  Put16(out, 28, header.file_count);
  Put16(out, 30, header.flags);
  Put16(out, 32, header.set_id);
  Put16(out, 34, header.cabinet_index);
}

CabinetHeader DecodeHeader(std::span<const std::byte> in) {
  return {.complete = std::equal(kSignatureComplete.begin(), kSignatureComplete.end(), in.begin()),
          .cabinet_size = Get32(in, 8),
          .files_offset = Get32(in, 16),
          .folder_count = Get16(in, 26),
          .file_count = Get16(in, 28),
          .flags = Get16(in, 30),
          .set_id = Get16(in, 32),
          .cabinet_index = Get16(in, 34)};
}

void EncodeFolderRecord(const FolderRecord& record, std::span<std::byte> out) {
  Put32(out, 0, record.first_block_offset);
  Put16(out, 4, record.block_count);
  Put16(out, 6, record.compression_type);
}

FolderRecord DecodeFolderRecord(std::span<const std::byte> in) {
  return {.first_block_offset = Get32(in, 0),
          .block_count = Get16(in, 4),
          .compression_type = Get16(in, 6)};
}

void EncodeFileRecord(const FileRecord& record, std::span<std::byte> out) {
  Put32(out, 0, record.size);
  Put32(out, 4, record.folder_offset);
  Put16(out, 8, record.folder);
  Put16(out, 10, record.date);
  Put16(out, 12, record.time);
  Put16(out, 14, record.attributes);
}

FileRecord DecodeFileRecord(std::span<const std::byte> in) {
  return {.size = Get32(in, 0),
          .folder_offset = Get32(in, 4),
          .folder = Get16(in, 8),
          .date = Get16(in, 10),
          .time = Get16(in, 12),
          .attributes = Get16(in, 14)};
}

void EncodeDataBlockHeader(const DataBlockHeader& header, std::span<std::byte> out) {
  Put32(out, 0, header.checksum);
  Put16(out, 4, header.compressed_size);
  Put16(out, 6, header.uncompressed_size);
}

DataBlockHeader DecodeDataBlockHeader(std::span<const std::byte> in) {
  return {
      .checksum = Get32(in, 0), .compressed_size = Get16(in, 4), .uncompressed_size = Get16(in, 6)};
}

std::uint32_t Checksum(std::span<const std::byte> data, std::uint32_t seed) {
  std::uint32_t sum = seed;
  const std::size_t whole = data.size() / 4 * 4;
  for (std::size_t i = 0; i < whole; i += 4) sum ^= Get32(data, i);
  std::uint32_t tail = 0;
  for (std::size_t i = whole; i < data.size(); ++i) {
    tail = tail << 8 | std::to_integer<std::uint32_t>(data[i]);
  }
  return sum ^ tail;
}

std::uint32_t DataBlockChecksum(std::span<const std::byte> header,
                                std::span<const std::byte> data) {
  return Checksum(header.subspan(4), Checksum(data, 0));
}

void EncodeSealedDataBlockHeader(DataBlockHeader fields, std::span<const std::byte> data,
                                 std::span<std::byte> header) {
  EncodeDataBlockHeader(fields, header);
  fields.checksum = DataBlockChecksum(header, data);
  EncodeDataBlockHeader(fields, header);
}

}  // namespace kb::cabinet

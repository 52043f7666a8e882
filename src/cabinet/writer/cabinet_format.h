#ifndef KITBINDER_CABINET_WRITER_CABINET_FORMAT_H_
#define KITBINDER_CABINET_WRITER_CABINET_FORMAT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// The records of a Microsoft Cabinet file (version 1.3) and their little-endian encoding.
// Encode functions write exactly the record's fixed size at the front of `out`; Decode
// functions read it from the front of `in`. REQUIRES: the span holds at least that size.
namespace kb::cabinet {

inline constexpr std::size_t kBlockSize = 32768;  // uncompressed bytes per data block
inline constexpr std::size_t kHeaderSize = 36;
inline constexpr std::size_t kReserveFieldsSize = 4;  // cbCFHeader, cbCFFolder, cbCFData
inline constexpr std::size_t kFolderRecordSize = 8;
inline constexpr std::size_t kFileRecordSize = 16;
inline constexpr std::size_t kDataHeaderSize = 8;
inline constexpr std::size_t kMaxNameLength = 255;
inline constexpr std::uint32_t kMaxHeaderReserve = 60000;
inline constexpr std::uint32_t kMaxRecordReserve = 255;
// Counts of folders, files and blocks are 16-bit; a folder therefore holds at most this many
// uncompressed bytes.
inline constexpr std::uint64_t kMaxRecordCount = 0xFFFF;
inline constexpr std::uint64_t kMaxFolderBytes = kMaxRecordCount * kBlockSize;

// iFolder values of a file that crosses a cabinet boundary.
inline constexpr std::uint16_t kContinuedFromPrevious = 0xFFFD;
inline constexpr std::uint16_t kContinuedToNext = 0xFFFE;
inline constexpr std::uint16_t kContinuedPreviousAndNext = 0xFFFF;

// Header flags.
inline constexpr std::uint16_t kFlagPreviousCabinet = 0x0001;
inline constexpr std::uint16_t kFlagNextCabinet = 0x0002;
inline constexpr std::uint16_t kFlagReservePresent = 0x0004;

inline constexpr std::uint16_t kAttributeExecute = 0x40;

struct CabinetHeader {
  bool complete = false;  // "MSCF" when complete, "!CAB" while the file is being written
  std::uint32_t cabinet_size = 0;
  std::uint32_t files_offset = 0;
  std::uint16_t folder_count = 0;
  std::uint16_t file_count = 0;
  std::uint16_t flags = 0;
  std::uint16_t set_id = 0;
  std::uint16_t cabinet_index = 0;
};

struct FolderRecord {
  std::uint32_t first_block_offset = 0;
  std::uint16_t block_count = 0;
  std::uint16_t compression_type = 0;
};

struct FileRecord {
  std::uint32_t size = 0;
  std::uint32_t folder_offset = 0;  // of the file's first byte in the folder's stream
  std::uint16_t folder = 0;
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  std::uint16_t attributes = 0;
};

struct DataBlockHeader {
  std::uint32_t checksum = 0;
  std::uint16_t compressed_size = 0;
  std::uint16_t uncompressed_size = 0;  // 0 for the first part of a block split across cabinets
};

// The first four bytes of a complete cabinet.
inline constexpr std::array<std::byte, 4> kSignatureComplete = {std::byte{'M'}, std::byte{'S'},
                                                                std::byte{'C'}, std::byte{'F'}};

void EncodeHeader(const CabinetHeader& header, std::span<std::byte> out);
CabinetHeader DecodeHeader(std::span<const std::byte> in);
void EncodeFolderRecord(const FolderRecord& record, std::span<std::byte> out);
FolderRecord DecodeFolderRecord(std::span<const std::byte> in);
void EncodeFileRecord(const FileRecord& record, std::span<std::byte> out);
FileRecord DecodeFileRecord(std::span<const std::byte> in);
void EncodeDataBlockHeader(const DataBlockHeader& header, std::span<std::byte> out);
DataBlockHeader DecodeDataBlockHeader(std::span<const std::byte> in);

// The format's checksum: the XOR of `data` as 32-bit little-endian words with `seed`, the one to
// three trailing bytes folded in as one value with the first trailing byte highest.
std::uint32_t Checksum(std::span<const std::byte> data, std::uint32_t seed);

// A data block's csum: the checksum of its data, then of its header from cbData to the end of
// the reserve with the first result as seed. `header` is the whole header, reserve included.
std::uint32_t DataBlockChecksum(std::span<const std::byte> header, std::span<const std::byte> data);

// Encodes the sizes of `fields` into `header` (the whole header, reserve included) with the csum
// of the block's `data` under them.
void EncodeSealedDataBlockHeader(DataBlockHeader fields, std::span<const std::byte> data,
                                 std::span<std::byte> header);

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_WRITER_CABINET_FORMAT_H_

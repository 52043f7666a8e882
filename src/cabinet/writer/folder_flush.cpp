#include "cabinet/writer/folder_flush.h"

#include <algorithm>
#include <array>
#include <limits>

namespace kb::cabinet {
namespace {

using DataHeaderBuffer = std::array<std::byte, kDataHeaderSize + kMaxRecordReserve>;
// A staged file record, its name of at most 255 characters and the name's NUL.
using FileRecordBuffer = std::array<std::byte, kFileRecordSize + kMaxNameLength + 1>;

bool IsContinuedToNext(std::uint16_t folder) {
  return folder == kContinuedToNext || folder == kContinuedPreviousAndNext;
}

// One flush of the open folder; each pass places as much of it as the cabinet has room for.
class FolderFlush {
 public:
  FolderFlush(FciContext& context, bool spanning, NextCabinetCallback next_cabinet,
              StatusCallback status)
      : services_(context.services),
        cabinet_(context.cabinet),
        folder_(context.folder),
        spanning_(spanning),
        next_cabinet_(next_cabinet),
        status_(status) {}

  bool Run();

 private:
  bool Pass();
  bool StartsNextCabinet(std::int64_t room) const;
  bool EndCabinetBeforeFolder();
  bool FinishCabinet(std::uint64_t estimate);
  bool MoveFolderToNextCabinet(std::uint64_t estimate);
  bool CarryFolder();
  std::uint64_t Estimate() const;
  bool Progress(std::uint64_t done, std::uint64_t total);
  bool RequestNextCabinet(std::uint64_t& estimate, std::int64_t& room);
  bool MoveBlocks(std::int64_t limit, std::uint64_t estimate, FolderRecord& record);
  bool MoveBlock(std::int64_t offset, std::span<std::byte> header, std::int64_t room_left,
                 bool last, FolderRecord& record);
  bool PlaceFiles(TempFile& rest);
  bool PlaceFile(std::span<std::byte> record_and_name, std::string_view name, TempFile& rest);

  ClientServices& services_;
  CabinetState& cabinet_;
  FolderState& folder_;
  const bool spanning_;
  const NextCabinetCallback next_cabinet_;
  const StatusCallback status_;
  std::uint64_t uncompressed_total_ = 0;  // of the blocks placed whole, over all passes
  std::uint64_t copied_ = 0;              // data bytes gone through, for progress
  std::uint64_t rest_records_ = 0;        // file records of this pass left for the next cabinet
  bool closed_cabinet_ = false;           // whether the last pass finished a cabinet
};

bool FolderFlush::Run() {
  cabinet_.ClearSavedNames();
  if (!folder_.CloseCompression(status_)) return false;
  if (folder_.empty()) return true;
  while (!folder_.empty()) {
    if (!Pass()) return false;
  }
  // The folder's record went into the cabinet still being staged, so the next folder is the
  // one after it; after a cabinet was finished, the next folder is that new cabinet's first.
  if (!closed_cabinet_) cabinet_.set_folder_number(cabinet_.folder_number() + 1);
  return true;
}

std::uint64_t FolderFlush::Estimate() const {
  return cabinet_.fixed_header_size() + cabinet_.folder_record_size() + folder_.data_size() +
         folder_.files().size() + cabinet_.StagedSize() + cabinet_.PreviousNamesSize() +
         cabinet_.NextNamesSize();
}

bool FolderFlush::Progress(std::uint64_t done, std::uint64_t total) {
  return status_(kStatusCopyingFolder, CallbackValue(done), CallbackValue(total),
                 services_.ctx()) != -1 ||
         services_.Fail(FciError::kUserAbort);
}

bool FolderFlush::Pass() {
  std::uint64_t estimate = Estimate();
  if (!Progress(0, estimate)) return false;
  std::int64_t room =
      static_cast<std::int64_t>(cabinet_.max_size()) - static_cast<std::int64_t>(estimate);
  if (StartsNextCabinet(room)) return EndCabinetBeforeFolder();
  // With whole folders, a folder that no cabinet of the maximum size holds gets one of its own:
  // split, it might need more block records than readers join (65,535 for the whole folder).
  const bool takes_own_cabinet = cabinet_.parameters().whole_folders && cabinet_.StagedSize() == 0;
  closed_cabinet_ = spanning_ || (room < 0 && !takes_own_cabinet);
  if (closed_cabinet_ && !RequestNextCabinet(estimate, room)) return false;
  const std::int64_t limit = closed_cabinet_ ? room + static_cast<std::int64_t>(folder_.data_size())
                                             : std::numeric_limits<std::int64_t>::max();
  if (closed_cabinet_ && folder_.data_size() != 0 &&
      limit <= static_cast<std::int64_t>(folder_.data_header_size())) {
    return MoveFolderToNextCabinet(estimate);
  }

  TempFile rest_files(&services_);
  rest_records_ = 0;
  FolderRecord record{.first_block_offset = static_cast<std::uint32_t>(cabinet_.data_size()),
                      .block_count = 0,
                      .compression_type = folder_.type()};
  if (!rest_files.Create() || !MoveBlocks(limit, estimate, record) ||
      !cabinet_.AppendFolderRecord(record) || !PlaceFiles(rest_files) ||
      !folder_.ReplaceTemporaries(std::move(rest_files), rest_records_)) {
    return false;
  }
  return !closed_cabinet_ || FinishCabinet(estimate);
}

// With whole folders: whether the folder is to start the next cabinet rather than be split
// here. A cabinet that holds nothing yet takes it in any case (see Pass).
bool FolderFlush::StartsNextCabinet(std::int64_t room) const {
  if (!cabinet_.parameters().whole_folders || spanning_ || cabinet_.StagedSize() == 0) {
    return false;
  }
  if (cabinet_.file_count() + folder_.record_count() > kMaxRecordCount ||
      cabinet_.folder_count() == kMaxRecordCount) {
    return true;
  }
  return room < 0;
}

// Writes the cabinet as it stands, naming no neighbour, and makes the next one current.
bool FolderFlush::EndCabinetBeforeFolder() {
  const std::uint64_t size = cabinet_.ExpectedSize();
  CabinetParameters next = cabinet_.parameters();
  ++next.cabinet_number;
  if (next_cabinet_(next, CallbackValue(size), services_.ctx()) == -1) {
    return services_.Fail(FciError::kUserAbort);
  }
  cabinet_.SetNext(next, false);
  closed_cabinet_ = true;
  return CarryFolder() && FinishCabinet(size);
}

// The carry goes to the next cabinet as its data staging, what it holds of the folder first.
bool FolderFlush::FinishCabinet(std::uint64_t estimate) {
  if (!cabinet_.WriteCabinetFile(copied_, estimate, estimate, status_, folder_.carry()) ||
      !folder_.RenewCarry()) {
    return false;
  }
  cabinet_.AdvanceToNext();
  return true;
}

// Copies the folder's blocks, which follow the data placed in this cabinet, into the carry: the
// folder goes whole to the next cabinet.
bool FolderFlush::CarryFolder() {
  TempFile& staging = cabinet_.data_staging();
  const std::span<std::byte> buffer = folder_.block_buffer();
  if (!staging.SeekTo(static_cast<std::int64_t>(cabinet_.data_size()))) return false;
  for (std::uint64_t left = folder_.data_size(); left > 0;) {
    const std::span<std::byte> piece = buffer.first(std::min<std::uint64_t>(left, buffer.size()));
    if (!staging.ReadExact(piece) || !folder_.carry().Append(piece)) return false;
    left -= piece.size();
  }
  return true;
}

// Readers of cabinet sets join a folder across cabinets only through a block split between
// them, so a folder that cannot put a single byte into this cabinet starts the next one whole.
// An empty cabinet without room for one byte could never hold the folder.
bool FolderFlush::MoveFolderToNextCabinet(std::uint64_t estimate) {
  if (cabinet_.StagedSize() == 0) return services_.Fail(FciError::kCabinetFile, kMaxSizeTooSmall);
  return CarryFolder() && FinishCabinet(estimate);
}

// This cabinet ends after the pass: it names the next one, and the next one names it.
bool FolderFlush::RequestNextCabinet(std::uint64_t& estimate, std::int64_t& room) {
  cabinet_.SaveCurrentNames();
  estimate -= cabinet_.NextNamesSize();
  CabinetParameters next = cabinet_.parameters();
  ++next.cabinet_number;
  if (next_cabinet_(next, CallbackValue(estimate), services_.ctx()) == -1) {
    return services_.Fail(FciError::kUserAbort);
  }
  cabinet_.SetNext(next, true);
  room = static_cast<std::int64_t>(cabinet_.max_size()) -
         static_cast<std::int64_t>(estimate + cabinet_.NextNamesSize());
  return true;
}

// Walks the folder's blocks where they lie in the data staging, after the data placed so far.
bool FolderFlush::MoveBlocks(std::int64_t limit, std::uint64_t estimate, FolderRecord& record) {
  TempFile& staging = cabinet_.data_staging();
  const std::size_t header_size = folder_.data_header_size();
  DataHeaderBuffer header_buffer{};
  const std::span<std::byte> header = std::span(header_buffer).first(header_size);
  const std::int64_t start = static_cast<std::int64_t>(cabinet_.data_size());
  const std::int64_t staged = static_cast<std::int64_t>(folder_.data_size());
  std::int64_t written = 0;
  while (written + static_cast<std::int64_t>(header_size) <= staged) {
    if (!staging.SeekTo(start + written) || !staging.ReadExact(header)) return false;
    const std::size_t compressed_size = DecodeDataBlockHeader(header).compressed_size;
    if (compressed_size > folder_.block_buffer().size()) return true;
    const std::int64_t end = written + static_cast<std::int64_t>(header_size + compressed_size);
    if (!MoveBlock(start + written, header, limit - written, end == staged, record)) return false;
    written = end;
    copied_ += compressed_size;
    if (!Progress(copied_, estimate)) return false;
  }
  return true;
}

// Places the block at `offset` of the data staging where it lies when it fits in `room_left`,
// else splits it when part of its data fits (the first part stays, with no uncompressed size
// of its own), else carries it to the next cabinet. Readers join a folder across cabinets only
// through a split block, so a block that is not the folder's last and would leave no room for
// part of the next is split too, its last byte going on. Once a block is not placed whole, no
// later one is: the placed data stays one run at the start of the staging.
bool FolderFlush::MoveBlock(std::int64_t offset, std::span<std::byte> header,
                            std::int64_t room_left, bool last, FolderRecord& record) {
  const std::int64_t header_size = static_cast<std::int64_t>(header.size());
  DataBlockHeader fields = DecodeDataBlockHeader(header);
  const std::int64_t whole = header_size + fields.compressed_size;
  if (whole <= room_left && (last || whole + header_size < room_left)) {
    ++record.block_count;
    uncompressed_total_ += fields.uncompressed_size;
    cabinet_.PlaceData(static_cast<std::uint64_t>(whole));
    return true;
  }
  TempFile& staging = cabinet_.data_staging();
  TempFile& rest = folder_.carry();
  const std::span<std::byte> data = folder_.block_buffer().first(fields.compressed_size);
  if (!staging.ReadExact(data)) return false;
  const std::int64_t part_size =
      std::min(room_left - header_size, static_cast<std::int64_t>(data.size()) - 1);
  if (part_size < 1) return rest.Append(header) && rest.Append(data);
  const std::size_t part = static_cast<std::size_t>(part_size);
  DataHeaderBuffer part_header{};
  const std::span<std::byte> part_span = std::span(part_header).first(header.size());
  EncodeSealedDataBlockHeader(
      {.compressed_size = static_cast<std::uint16_t>(part), .uncompressed_size = 0},
      data.first(part), part_span);
  ++record.block_count;
  cabinet_.PlaceData(header.size() + part);
  fields.compressed_size = static_cast<std::uint16_t>(data.size() - part);
  EncodeSealedDataBlockHeader(fields, data.subspan(part), header);
  return staging.Overwrite(offset, part_span) && rest.Append(header) &&
         rest.Append(data.subspan(part));
}

bool FolderFlush::PlaceFiles(TempFile& rest) {
  std::int64_t offset = 0;
  FileRecordBuffer buffer;
  for (;;) {
    if (!folder_.files().SeekTo(offset)) return false;
    const std::optional<std::size_t> got = folder_.files().ReadFull(buffer);
    if (!got) return false;
    if (*got == 0) return true;
    const std::span<std::byte> read = std::span(buffer).first(*got);
    if (read.size() <= kFileRecordSize) return services_.Fail(FciError::kTempFile);
    const auto names = std::as_bytes(read.subspan(kFileRecordSize));
    const auto nul = std::find(names.begin(), names.end(), std::byte{0});
    if (nul == names.end()) return services_.Fail(FciError::kTempFile);  // name too long
    const std::size_t name_length = static_cast<std::size_t>(nul - names.begin());
    const std::string_view name(reinterpret_cast<const char*>(names.data()), name_length);
    const std::size_t record_size = kFileRecordSize + name_length + 1;
    if (!PlaceFile(read.first(record_size), name, rest)) return false;
    offset += static_cast<std::int64_t>(record_size);
  }
}

// Places one staged file record in the cabinet; a file whose data goes on past what this pass
// placed is recorded as continued in the next cabinet too.
bool FolderFlush::PlaceFile(std::span<std::byte> record_and_name, std::string_view name,
                            TempFile& rest) {
  FileRecord record = DecodeFileRecord(record_and_name);
  const bool continuation =
      record.folder == kContinuedFromPrevious || record.folder == kContinuedPreviousAndNext;
  if (services_.callbacks().file_placed(cabinet_.parameters(), name, record.size, continuation,
                                        services_.ctx()) == -1) {
    return services_.Fail(FciError::kUserAbort);
  }
  if (!continuation) record.folder = cabinet_.folder_number();
  if (uncompressed_total_ < std::uint64_t{record.folder_offset} + record.size) {
    record.folder = continuation ? kContinuedPreviousAndNext : kContinuedToNext;
  }
  EncodeFileRecord(record, record_and_name);
  if (!cabinet_.AppendFileRecord(record_and_name)) return false;
  if (!IsContinuedToNext(record.folder)) return true;
  record.folder = kContinuedFromPrevious;
  EncodeFileRecord(record, record_and_name);
  ++rest_records_;
  return rest.Append(record_and_name);
}

}  // namespace

bool FlushFolder(FciContext& context, bool spanning, NextCabinetCallback next_cabinet,
                 StatusCallback status) {
  return FolderFlush(context, spanning, next_cabinet, status).Run();
}

}  // namespace kb::cabinet

#include "cabinet/folder_state.h"

#include <array>
#include <cerrno>

namespace kb::cabinet {
namespace {

constexpr std::uint16_t kTypeMask = 0x000F;

// Larger than any data block header: 8 bytes and at most 255 reserved.
using DataHeaderBuffer = std::array<std::byte, kDataHeaderSize + kMaxRecordReserve>;

}  // namespace

FolderState::FolderState(ClientServices* services, std::size_t data_reserve)
    : services_(services),
      data_(services),
      files_(services),
      data_header_size_(kDataHeaderSize + data_reserve) {}

bool FolderState::CreateTemporaries() {
  TempFile data(services_);
  TempFile files(services_);
  if (!data.Create() || !files.Create()) return false;
  data_ = std::move(data);
  files_ = std::move(files);
  return true;
}

bool FolderState::IsKnownType(std::uint16_t type) {
  const std::uint16_t low = type & kTypeMask;
  return low == kCompressNone || low == kCompressMszip;
}

bool FolderState::SwitchType(std::uint16_t type) {
  compressor_.reset();
  input_ = ClientBuffer();
  output_ = ClientBuffer();
  type_ = type;
  std::size_t output_size = kBlockSize;
  if ((type & kTypeMask) == kCompressMszip &&
      MszipCompressor::Create(kBlockSize, &compressor_, &output_size) != MszipResult::kOk) {
    return services_->Fail(FciError::kCompressorFail);
  }
  input_ = services_->Allocate(kBlockSize);
  output_ = services_->Allocate(output_size);
  return (input_ && output_) || services_->Fail(FciError::kAllocFail);
}

std::optional<std::uint32_t> FolderState::ReadFile(int source, StatusCallback status) {
  std::uint64_t size = 0;
  for (;;) {
    int err = 0;
    const std::span<std::byte> free_part = input_.span().subspan(input_used_);
    const std::int32_t n = services_->Read(source, free_part, err);
    if (n == 0) break;
    if (n < 0 || static_cast<std::size_t>(n) > free_part.size()) {
      services_->Fail(FciError::kReadFile, err);
      return std::nullopt;
    }
    if (uncompressed_ + static_cast<std::uint64_t>(n) > kMaxFolderBytes) {
      services_->Fail(FciError::kReadFile, EFBIG);
      return std::nullopt;
    }
    input_used_ += static_cast<std::size_t>(n);
    uncompressed_ += static_cast<std::uint64_t>(n);
    size += static_cast<std::uint64_t>(n);
    if (input_used_ == kBlockSize && !StageBlock(status)) return std::nullopt;
  }
  return static_cast<std::uint32_t>(size);
}

std::optional<std::uint16_t> FolderState::CompressBlock(std::span<const std::byte> block) {
  if (!compressor_) return static_cast<std::uint16_t>(block.size());  // stored as it is
  std::uint16_t compressed_size = 0;
  if (compressor_->Compress(block, output_.span(), &compressed_size) != MszipResult::kOk) {
    services_->Fail(FciError::kCompressorFail);
    return std::nullopt;
  }
  return compressed_size;
}

bool FolderState::StageBlock(StatusCallback status) {
  const std::span<const std::byte> block = input_.span().first(input_used_);
  const std::optional<std::uint16_t> compressed_size = CompressBlock(block);
  if (!compressed_size) return false;
  DataHeaderBuffer header{};
  EncodeDataBlockHeader({.compressed_size = *compressed_size,
                         .uncompressed_size = static_cast<std::uint16_t>(block.size())},
                        header);
  const std::span<const std::byte> data =
      compressor_ ? output_.span().first(*compressed_size) : block;
  if (!data_.Append(std::span(header).first(data_header_size_)) || !data_.Append(data)) {
    return false;
  }
  input_used_ = 0;
  if (status(kStatusBlockCompressed, *compressed_size, static_cast<std::uint32_t>(block.size()),
             services_->ctx()) == -1) {
    return services_->Fail(FciError::kUserAbort);
  }
  return true;
}

bool FolderState::AppendFileRecord(const FileRecord& record, std::string_view name) {
  std::array<std::byte, kFileRecordSize> encoded;
  EncodeFileRecord(record, encoded);
  const std::string_view stored = name.substr(0, name.find('\0'));
  static constexpr std::byte kNul{0};
  return files_.Append(encoded) && files_.Append(std::as_bytes(std::span(stored))) &&
         files_.Append(std::span(&kNul, 1));
}

bool FolderState::CloseCompression(StatusCallback status) {
  if (input_used_ > 0 && !StageBlock(status)) return false;
  if (compressor_) compressor_->Reset();
  uncompressed_ = 0;
  return true;
}

bool FolderState::ReplaceTemporaries(TempFile data, TempFile files) {
  const bool data_gone = data_.Destroy();
  const bool files_gone = files_.Destroy();
  data_ = std::move(data);
  files_ = std::move(files);
  return data_gone && files_gone;
}

bool FolderState::Destroy() {
  compressor_.reset();
  input_ = ClientBuffer();
  output_ = ClientBuffer();
  const bool data_gone = data_.Destroy();
  return files_.Destroy() && data_gone;
}

}  // namespace kb::cabinet

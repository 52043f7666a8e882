#include "cabinet/writer/cabinet_state.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace kb::cabinet {
namespace {

constexpr std::uint32_t kDefaultMaxCabinetSize = 134217727;
constexpr std::size_t kReservePiece = 256;
constexpr std::byte kNul{0};

std::uint32_t EffectiveMaxSize(std::uint32_t max_size) {
  return max_size == 0 ? kDefaultMaxCabinetSize : max_size;
}

std::span<const std::byte> Bytes(const std::string& text) {
  return std::as_bytes(std::span(text.data(), text.size()));
}

}  // namespace

std::string NameText(const CabinetName& name) {
  return std::string(name.data(), ::strnlen(name.data(), kMaxNameLength));
}

// The cabinet file while it is written: removed again unless Complete succeeded and Keep was
// called. Every failure is reported as kCabinetFile.
class CabinetState::OpenCabinetFile {
 public:
  OpenCabinetFile(ClientServices* services, std::string path)
      : services_(services), path_(std::move(path)) {}
  OpenCabinetFile(const OpenCabinetFile&) = delete;
  OpenCabinetFile& operator=(const OpenCabinetFile&) = delete;
  ~OpenCabinetFile() {
    int ignored = 0;
    if (handle_ != -1) services_->Close(handle_, ignored);
    if (!keep_) services_->Remove(path_, ignored);
  }

  bool Open() {
    int err = 0;
    handle_ = services_->Open(path_, kOpenCabinetFlags, err);
    if (handle_ != -1) return true;
    keep_ = true;  // nothing was created
    return Fail(err);
  }

  bool Write(std::span<const std::byte> bytes) {
    int err = 0;
    return services_->WriteAll(handle_, bytes, err) || Fail(err);
  }

  // Marks the file complete and closes it; returns its size.
  std::optional<std::uint64_t> Complete() {
    int err = 0;
    const std::int64_t size = services_->Seek(handle_, 0, 2, err);
    if (size < 0 || services_->Seek(handle_, 0, 0, err) != 0 ||
        !services_->WriteAll(handle_, kSignatureComplete, err) ||
        !services_->Close(std::exchange(handle_, -1), err)) {
      Fail(err);
      return std::nullopt;
    }
    return static_cast<std::uint64_t>(size);
  }

  void Keep() { keep_ = true; }

 private:
  bool Fail(int err) { return services_->Fail(FciError::kCabinetFile, err); }

  ClientServices* services_;
  std::string path_;
  int handle_ = -1;
  bool keep_ = false;
};

CabinetState::CabinetState(ClientServices* services, const CabinetParameters& parameters)
    : services_(services),
      data_(services),
      files_(services),
      folders_(services),
      parameters_(parameters),
      reserve_block_size_(parameters.header_reserve != 0 || parameters.folder_reserve != 0 ||
                                  parameters.data_reserve != 0
                              ? kReserveFieldsSize + parameters.header_reserve
                              : 0),
      fixed_header_size_(kHeaderSize + reserve_block_size_),
      folder_record_size_(kFolderRecordSize + parameters.folder_reserve),
      data_header_size_(kDataHeaderSize + parameters.data_reserve) {
  parameters_.max_cabinet_size = EffectiveMaxSize(parameters.max_cabinet_size);
}

bool CabinetState::CreateTemporaries() {
  TempFile data(services_);
  return data.Create() && StartStaging(data);
}

bool CabinetState::StartStaging(TempFile& data) {
  TempFile files(services_);
  TempFile folders(services_);
  if (!files.Create() || !folders.Create()) return false;
  data_ = std::move(data);
  files_ = std::move(files);
  folders_ = std::move(folders);
  placed_ = 0;
  return true;
}

bool CabinetState::AppendFolderRecord(const FolderRecord& record) {
  if (folder_count_ == kMaxRecordCount) return services_->Fail(FciError::kCabinetFile);
  std::array<std::byte, kFolderRecordSize + kMaxRecordReserve> encoded{};
  EncodeFolderRecord(record, encoded);
  ++folder_count_;
  return folders_.Append(std::span(encoded).first(folder_record_size_));
}

bool CabinetState::AppendFileRecord(std::span<const std::byte> record_and_name) {
  if (file_count_ == kMaxRecordCount) return services_->Fail(FciError::kCabinetFile);
  ++file_count_;
  return files_.Append(record_and_name);
}

std::uint64_t CabinetState::NextNamesSize() const {
  return next_cabinet_.empty() ? 0 : next_cabinet_.size() + next_disk_.size() + 2;
}

std::uint64_t CabinetState::PreviousNamesSize() const {
  return previous_cabinet_.empty() ? 0 : previous_cabinet_.size() + previous_disk_.size() + 2;
}

std::uint64_t CabinetState::CopiedSize() const {
  return files_.size() + (services_->callbacks().data_apart != nullptr ? 0 : placed_);
}

std::uint64_t CabinetState::StagedSize() const {
  return placed_ + files_.size() + folders_.size();
}

void CabinetState::SaveCurrentNames() {
  saved_cabinet_ = NameText(parameters_.cabinet_name);
  saved_disk_ = NameText(parameters_.disk_name);
}

void CabinetState::ClearSavedNames() {
  saved_cabinet_.clear();
  saved_disk_.clear();
}

void CabinetState::SetNext(const CabinetParameters& next, bool linked) {
  next_ = next;
  next_cabinet_ = linked ? NameText(next.cabinet_name) : std::string();
  next_disk_ = linked ? NameText(next.disk_name) : std::string();
  next_.max_cabinet_size = EffectiveMaxSize(next.max_cabinet_size);
}

void CabinetState::AdvanceToNext() {
  if (parameters_.max_cabinet_size != 0 && next_.disk_number == parameters_.disk_number) {
    next_.max_cabinet_size = parameters_.max_cabinet_size;
  }
  parameters_ = next_;
  folder_number_ = 0;
}

std::uint64_t CabinetState::HeaderSize() const {
  return fixed_header_size_ + PreviousNamesSize() + NextNamesSize();
}

CabinetHeader CabinetState::MakeHeader(std::uint64_t header_size) {
  CabinetHeader header;
  header.files_offset = static_cast<std::uint32_t>(header_size + folders_.size());
  header.cabinet_size =
      static_cast<std::uint32_t>(header_size + folders_.size() + files_.size() + placed_);
  header.folder_count = static_cast<std::uint16_t>(folder_count_);
  header.file_count = static_cast<std::uint16_t>(file_count_);
  if (!previous_cabinet_.empty()) header.flags |= kFlagPreviousCabinet;
  if (!next_cabinet_.empty()) header.flags |= kFlagNextCabinet;
  if (reserve_block_size_ != 0) header.flags |= kFlagReservePresent;
  header.set_id = parameters_.set_id;
  header.cabinet_index = cabinet_index_++;
  return header;
}

bool CabinetState::WriteHeader(OpenCabinetFile& file, std::uint64_t header_size) {
  std::array<std::byte, kHeaderSize> header;
  EncodeHeader(MakeHeader(header_size), header);
  if (!file.Write(header)) return false;
  if (reserve_block_size_ == 0) return true;
  const std::uint16_t header_reserve = static_cast<std::uint16_t>(parameters_.header_reserve);
  const std::array<std::byte, kReserveFieldsSize> fields = {
      static_cast<std::byte>(header_reserve & 0xFF), static_cast<std::byte>(header_reserve >> 8),
      static_cast<std::byte>(parameters_.folder_reserve),
      static_cast<std::byte>(parameters_.data_reserve)};
  if (!file.Write(fields)) return false;
  const std::array<std::byte, kReservePiece> zeros{};
  for (std::size_t left = header_reserve; left > 0;) {
    const std::size_t piece = std::min(left, kReservePiece);
    if (!file.Write(std::span(zeros).first(piece))) return false;
    left -= piece;
  }
  return true;
}

bool CabinetState::WriteNames(OpenCabinetFile& file) {
  const auto write_pair = [&file](const std::string& cabinet, const std::string& disk) {
    return cabinet.empty() || (file.Write(Bytes(cabinet)) && file.Write(std::span(&kNul, 1)) &&
                               file.Write(Bytes(disk)) && file.Write(std::span(&kNul, 1)));
  };
  return write_pair(previous_cabinet_, previous_disk_) && write_pair(next_cabinet_, next_disk_);
}

bool CabinetState::CopyFolderRecords(OpenCabinetFile& file, std::uint64_t data_start) {
  if (!folders_.SeekTo(0)) return false;
  std::array<std::byte, kFolderRecordSize + kMaxRecordReserve> buffer{};
  const std::span<std::byte> record = std::span(buffer).first(folder_record_size_);
  for (std::uint64_t i = 0; i < folder_count_; ++i) {
    if (!folders_.ReadExact(record)) return false;
    FolderRecord fields = DecodeFolderRecord(record);
    fields.first_block_offset += static_cast<std::uint32_t>(data_start);
    EncodeFolderRecord(fields, record);
    if (!file.Write(record)) return false;
  }
  return true;
}

bool CabinetState::CopyStaging(OpenCabinetFile& file, TempFile& staging, std::uint64_t length,
                               std::span<std::byte> buffer, std::uint64_t& progress,
                               std::uint64_t total, StatusCallback status) {
  if (!staging.SeekTo(0)) return false;
  for (std::uint64_t left = length; left > 0;) {
    const std::span<std::byte> piece = buffer.first(std::min<std::uint64_t>(left, buffer.size()));
    if (!staging.ReadExact(piece) || !file.Write(piece)) return false;
    left -= piece.size();
    progress += piece.size();
    if (status(kStatusCopyingFolder, CallbackValue(progress), CallbackValue(total),
               services_->ctx()) == -1) {
      return services_->Fail(FciError::kUserAbort);
    }
  }
  return true;
}

bool CabinetState::FinishCabinet(std::uint64_t estimate, std::uint64_t file_size,
                                 StatusCallback status, TempFile& next_data) {
  const bool data_gone = ReleaseData();
  const bool files_gone = files_.Destroy();
  if (!folders_.Destroy() || !data_gone || !files_gone || !StartStaging(next_data)) return false;
  const std::int32_t taken = status(kStatusCabinetWritten, CallbackValue(estimate),
                                    CallbackValue(file_size), services_->ctx());
  if (taken == -1) return services_->Fail(FciError::kUserAbort);
  // The disk cannot give more than it has left: a client claiming so has made a mistake.
  if (taken < 0 || static_cast<std::uint32_t>(taken) > parameters_.max_cabinet_size) {
    return services_->Fail(FciError::kCabinetFile);
  }
  parameters_.max_cabinet_size -= static_cast<std::uint32_t>(taken);
  folder_count_ = 0;
  file_count_ = 0;
  return true;
}

bool CabinetState::ReleaseData() {
  const DataApartCallback take = services_->callbacks().data_apart;
  if (take == nullptr) return data_.Destroy();
  const std::optional<int> handle = data_.Release();
  if (!handle) return false;
  return take(*handle, placed_, services_->ctx()) != -1 || services_->Fail(FciError::kUserAbort);
}

bool CabinetState::WriteCabinetFile(std::uint64_t progress_count, std::uint64_t progress_total,
                                    std::uint64_t estimate, StatusCallback status,
                                    TempFile& next_data) {
  OpenCabinetFile file(services_,
                       NameText(parameters_.cabinet_path) + NameText(parameters_.cabinet_name));
  if (!file.Open()) return false;
  ClientBuffer buffer = services_->Allocate(kBlockSize);
  if (!buffer) return services_->Fail(FciError::kAllocFail);
  const bool data_apart = services_->callbacks().data_apart != nullptr;
  const std::uint64_t header_size = HeaderSize();
  if (header_size + StagedSize() > UINT32_MAX) return services_->Fail(FciError::kCabinetFile);
  if (!WriteHeader(file, header_size) || !WriteNames(file)) return false;
  next_cabinet_.clear();
  next_disk_.clear();
  previous_cabinet_ = saved_cabinet_;
  previous_disk_ = saved_disk_;
  if (!CopyFolderRecords(file, header_size + folders_.size() + files_.size()) ||
      !CopyStaging(file, files_, files_.size(), buffer.span(), progress_count, progress_total,
                   status) ||
      (!data_apart &&
       !CopyStaging(file, data_, placed_, buffer.span(), progress_count, progress_total, status))) {
    return false;
  }
  const std::optional<std::uint64_t> file_size = file.Complete();
  if (!file_size ||
      !FinishCabinet(estimate, *file_size + (data_apart ? placed_ : 0), status, next_data)) {
    return false;
  }
  file.Keep();
  return true;
}

bool CabinetState::Destroy() {
  const bool data_gone = data_.Destroy();
  const bool files_gone = files_.Destroy();
  return folders_.Destroy() && data_gone && files_gone;
}

}  // namespace kb::cabinet

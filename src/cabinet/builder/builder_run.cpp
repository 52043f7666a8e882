#include "cabinet/builder/builder_run.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

#include "cabinet/builder/builder_callbacks.h"
#include "platform/dos_file_info.h"
#include "platform/leftover_files.h"
#include "platform/temp_name.h"
#include "platform/unnamed_file.h"

namespace kb::cabinet {
namespace {

constexpr std::string_view kFolderBreak = "+";
constexpr std::string_view kCabinetExtension = ".cab";
constexpr std::uint16_t kSetId = 12345;
constexpr std::string_view kDiskName = "MyDisk";

template <std::size_t N>
void CopyName(std::string_view text, std::array<char, N>& field) {
  field.fill('\0');
  std::copy_n(text.begin(), std::min(text.size(), N - 1), field.begin());
}

bool HearsProgress(const CabinetObserver& observer) {
  return observer.entry_starting || observer.block_compressed;
}

}  // namespace

void BuilderRun::Start(const std::vector<std::string>& sources) {
  // What runs killed outright left in the staging folder; never a live run's files.
  if (const std::optional<std::string> staging = platform::TempFolder(folder_)) {
    platform::RemoveLeftovers(*staging, kTempNamePrefix);
  }
  progress_ = CabinetProgress();
  progress_.entry_count = sources.size();
  if (!HearsProgress(observer_)) return;
  for (const std::string& source : sources) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(source, error);
    if (source != kFolderBreak && !error) progress_.bytes_total += static_cast<std::int64_t>(size);
  }
}

CabinetCallbacks BuilderRun::Callbacks(bool data_apart) {
  CabinetCallbacks callbacks = BuilderCallbacks();
  if (data_apart) callbacks.data_apart = DataApart;
  callbacks.file_placed = FilePlaced;
  callbacks.open = TrackedOpen;
  callbacks.close = TrackedClose;
  callbacks.remove = TrackedRemove;
  callbacks.temp_name = TempName;
  return callbacks;
}

bool BuilderRun::FormatCabinetName(int number, CabinetName& name) const {
  const std::string text = prefix_ + std::to_string(number) + std::string(kCabinetExtension);
  if (text.size() >= name.size()) return false;
  CopyName(text, name);
  return true;
}

std::optional<CabinetParameters> BuilderRun::Parameters(std::uint32_t max_cabinet_size,
                                                        std::uint32_t folder_threshold,
                                                        bool whole_folders) {
  if (folder_.size() > kMaxCabinetFolderLength) return std::nullopt;
  CabinetParameters parameters{};
  CopyName(folder_.empty() || folder_.ends_with('/') ? folder_ : folder_ + '/',
           parameters.cabinet_path);
  parameters.max_cabinet_size = max_cabinet_size;
  parameters.folder_threshold = folder_threshold;
  parameters.whole_folders = whole_folders;
  parameters.cabinet_number = 1;
  last_cabinet_number_ = parameters.cabinet_number;
  parameters.set_id = kSetId;
  CopyName(kDiskName, parameters.disk_name);
  // Cannot fail: the builder keeps its prefix short enough for any number.
  static_cast<void>(FormatCabinetName(parameters.cabinet_number, parameters.cabinet_name));
  return parameters;
}

int BuilderRun::OpenInfo(const std::string& path, std::uint16_t& date, std::uint16_t& time,
                         std::uint16_t& attributes, int& err, void* ctx) {
  const int handle = BuilderOpenInfo(path, date, time, attributes, err, ctx);
  if (const auto fixed = Of(ctx).file_time_; handle != -1 && fixed) {
    platform::DosFileInfo info;
    platform::SetUtcDosDateTime(static_cast<std::time_t>(*fixed), &info);
    date = info.date;
    time = info.time;
  }
  return handle;
}

int BuilderRun::NextCabinet(CabinetParameters& next, std::uint32_t, void* ctx) {
  BuilderRun& run = Of(ctx);
  run.last_cabinet_number_ = next.cabinet_number;
  return run.FormatCabinetName(next.cabinet_number, next.cabinet_name) ? 1 : -1;
}

void BuilderRun::EntryStarting(std::size_t index, std::string_view source) {
  progress_.entry = index;
  progress_.source = source;
  if (observer_.entry_starting) observer_.entry_starting(progress_);
}

std::int32_t BuilderRun::Status(std::uint32_t kind, std::uint32_t value1, std::uint32_t value2,
                                void* ctx) {
  BuilderRun& run = Of(ctx);
  if (kind == kStatusBlockCompressed) {
    run.progress_.compressed_bytes += value1;
    run.progress_.bytes_done += value2;
    if (run.observer_.block_compressed) run.observer_.block_compressed(run.progress_);
  } else if (kind == kStatusCopyingFolder && run.observer_.folder_copying) {
    run.observer_.folder_copying(Percentage(value1, value2));
  }
  return run.stop_requested() ? -1 : 0;
}

int BuilderRun::FilePlaced(const CabinetParameters& parameters, std::string_view name,
                           std::uint32_t size, bool continuation, void* ctx) {
  const CabinetObserver& observer = Of(ctx).observer_;
  if (observer.file_placed) {
    observer.file_placed({.name = name,
                          .size = size,
                          .cabinet = parameters.cabinet_name.data(),
                          .continuation = continuation});
  }
  return 0;
}

// A staging temporary is made without a name where the file system allows it, so that not even
// SIGKILL leaves it behind; otherwise under its name, locked as in use (see RemoveLeftovers).
// A named file is marked before it is created, so that no signal finds it made and unmarked.
int BuilderRun::TrackedOpen(const std::string& path, int flags, int mode, int& err, void* ctx) {
  RunFiles& files = Of(ctx).files_;
  if (flags == kOpenTemporaryFlags) {
    const int unnamed = platform::OpenUnnamedFile(std::filesystem::path(path).parent_path());
    if (unnamed != -1) {
      files.OpenedUnnamed(path);
      return unnamed;
    }
  }
  const bool creates = flags == kOpenCabinetFlags || flags == kOpenTemporaryFlags;
  if (creates) files.Creating(path);
  const int handle = BuilderCallbacks().open(path, flags, mode, err, ctx);
  if (handle != -1 && creates) files.Opened(handle, path, flags == kOpenCabinetFlags);
  if (handle != -1 && flags == kOpenTemporaryFlags) platform::LockAsInUse(handle);
  if (handle == -1 && creates) files.Removed(path);
  return handle;
}

int BuilderRun::DataApart(int handle, std::uint64_t size, void* ctx) {
  platform::UniqueFd file(handle);
  Of(ctx).data_.push_back({std::move(file), size});
  return 0;
}

bool BuilderRun::TempName(std::span<char> buffer, void* ctx) {
  return WriteTempName(Of(ctx).folder_, buffer);
}

int BuilderRun::TrackedClose(int handle, int& err, void* ctx) {
  Of(ctx).files_.Closed(handle);
  return BuilderCallbacks().close(handle, err, ctx);
}

int BuilderRun::TrackedRemove(const std::string& path, int& err, void* ctx) {
  if (Of(ctx).files_.ForgetUnnamed(path)) return 0;
  const int result = BuilderCallbacks().remove(path, err, ctx);
  if (result == 0) Of(ctx).files_.Removed(path);
  return result;
}

}  // namespace kb::cabinet

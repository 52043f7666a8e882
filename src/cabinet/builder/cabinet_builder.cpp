#include "cabinet/builder/cabinet_builder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "cabinet/builder/builder_callbacks.h"
#include "cabinet/builder/run_files.h"
#include "cabinet/writer/cabinet_format.h"
#include "cabinet/writer/cabinet_writer.h"

namespace kb::cabinet {
namespace {

constexpr std::string_view kFolderBreak = "+";
constexpr std::string_view kCabinetExtension = ".cab";
constexpr std::size_t kMaxNumberDigits = 10;  // of a positive 32-bit cabinet number
static_assert(CabinetBuilder::kMaxPrefixLength + kMaxNumberDigits + kCabinetExtension.size() <
              kCabinetNameCapacity);
static_assert(CabinetBuilder::kMaxFileSize == kMaxFolderBytes);
constexpr std::uint16_t kSetId = 12345;
constexpr std::string_view kDiskName = "MyDisk";

struct BuilderState {
  std::vector<std::string> sources;
  std::vector<std::string> names;
  std::string prefix;
  bool created = false;
  std::string last_error;
  std::uint32_t max_cabinet_size = CabinetBuilder::kDefaultMaxCabinetSize;
  std::uint32_t folder_threshold = CabinetBuilder::kDefaultFolderThreshold;
  std::size_t compression_threads = 0;  // 0: one per hardware thread
  int last_cabinet_number = 0;
  CabinetProgressObserver observer;
  CabinetProgress progress;
  RunFiles run_files;
};

BuilderState& State() {
  static BuilderState state;
  return state;
}

constexpr std::array<std::string_view, 9> kErrorTexts = {
    "No error",
    "Failure opening file to be stored in cabinet",
    "Failure reading file to be stored in cabinet",
    "Insufficient memory in FCI",
    "Could not create a temporary file",
    "Unknown compression type",
    "Could not create cabinet file",
    "Client requested abort",
    "Failure compressing data",
};

std::string_view ErrorText(std::int32_t code) {
  return code >= 0 && static_cast<std::size_t>(code) < kErrorTexts.size() ? kErrorTexts[code]
                                                                          : "Unknown error";
}

// The second line of LastError when the writer's failure has a cause the code does not say.
std::string Explanation(const CabinetError& error) {
  if (error.code != static_cast<std::int32_t>(FciError::kCabinetFile) ||
      error.runtime_error != kMaxSizeTooSmall) {
    return {};
  }
  return "The maximum cabinet size of " + std::to_string(State().max_cabinet_size) +
         " bytes is too small: a cabinet of that size has no room for data beside its headers.\n";
}

// Sets LastError for a failed writer call and removes the cabinets the run wrote, since an
// incomplete set is of no use; returns false.
bool Failed(std::string_view operation, const CabinetError& error) {
  const std::string_view text = ErrorText(error.code);
  std::array<char, 512> line;
  std::snprintf(line.data(), line.size(), "%.*s() failed: code %d [%.*s]\n",
                static_cast<int>(operation.size()), operation.data(), error.code,
                static_cast<int>(text.size()), text.data());
  State().last_error = line.data() + Explanation(error);
  State().run_files.RemoveCabinets();
  return false;
}

bool FailedAndDestroyed(std::string_view operation, const CabinetError& error, FciHandle context) {
  Failed(operation, error);
  FCIDestroy(std::move(context));
  return false;
}

template <std::size_t N>
void CopyName(std::string_view text, std::array<char, N>& field) {
  field.fill('\0');
  std::copy_n(text.begin(), std::min(text.size(), N - 1), field.begin());
}

// "<prefix><number>.cab"; false when it does not fit the name field.
bool FormatCabinetName(int number, CabinetName& name) {
  const std::string text = State().prefix + std::to_string(number) + std::string(kCabinetExtension);
  if (text.size() >= name.size()) return false;
  CopyName(text, name);
  return true;
}

int NextCabinet(CabinetParameters& next, std::uint32_t, void*) {
  State().last_cabinet_number = next.cabinet_number;
  return FormatCabinetName(next.cabinet_number, next.cabinet_name) ? 1 : -1;
}

CabinetParameters BuildParameters() {
  CabinetParameters parameters{};
  parameters.max_cabinet_size = State().max_cabinet_size;
  parameters.folder_threshold = State().folder_threshold;
  parameters.cabinet_number = 1;
  State().last_cabinet_number = parameters.cabinet_number;
  parameters.set_id = kSetId;
  CopyName(kDiskName, parameters.disk_name);
  FormatCabinetName(parameters.cabinet_number, parameters.cabinet_name);
  return parameters;
}

void Report() {
  if (State().observer) State().observer(State().progress);
}

// The progress of a run about to start: the sizes of its files (only when someone hears it).
CabinetProgress StartProgress() {
  CabinetProgress progress;
  progress.entry_count = State().sources.size();
  if (!State().observer) return progress;
  for (const std::string& source : State().sources) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(source, error);
    if (source != kFolderBreak && !error) progress.bytes_total += static_cast<std::int64_t>(size);
  }
  return progress;
}

// The builder's status callback, telling the observer of every compressed block as well.
std::int32_t ReportingStatus(std::uint32_t kind, std::uint32_t value1, std::uint32_t value2,
                             void* ctx) {
  const std::int32_t result = BuilderStatus(kind, value1, value2, ctx);
  if (kind == kStatusBlockCompressed) {
    State().progress.bytes_done += value2;
    Report();
  }
  return result;
}

// The builder's file callbacks, telling the run's files what they make and remove.
// A file is marked before it is created, so that no signal finds it made and unmarked.
int TrackedOpen(const std::string& path, int flags, int mode, int& err, void* ctx) {
  const bool creates = flags == kOpenCabinetFlags || flags == kOpenTemporaryFlags;
  if (creates) State().run_files.Creating(path);
  const int handle = BuilderCallbacks().open(path, flags, mode, err, ctx);
  if (handle != -1 && creates) State().run_files.Opened(handle, path, flags == kOpenCabinetFlags);
  if (handle == -1 && creates) State().run_files.Removed(path);
  return handle;
}

int TrackedClose(int handle, int& err, void* ctx) {
  State().run_files.Closed(handle);
  return BuilderCallbacks().close(handle, err, ctx);
}

int TrackedRemove(const std::string& path, int& err, void* ctx) {
  const int result = BuilderCallbacks().remove(path, err, ctx);
  if (result == 0) State().run_files.Removed(path);
  return result;
}

CabinetCallbacks TrackedCallbacks() {
  CabinetCallbacks callbacks = BuilderCallbacks();
  callbacks.open = TrackedOpen;
  callbacks.close = TrackedClose;
  callbacks.remove = TrackedRemove;
  return callbacks;
}

std::string_view BaseName(std::string_view path) {
  const std::size_t separator = path.find_last_of("/\\");
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

// Adds every entry in order; false with LastError set and the context destroyed.
bool AddEntries(FciHandle& context, CabinetError& error) {
  BuilderState& state = State();
  for (std::size_t i = 0; i < state.sources.size(); ++i) {
    const std::string& source = state.sources[i];
    if (source == kFolderBreak) {
      if (!FCIFlushFolder(*context, NextCabinet, ReportingStatus)) {
        return FailedAndDestroyed("FCIFlushFolder", error, std::move(context));
      }
      continue;
    }
    const std::string_view name = state.names[i].empty() ? BaseName(source) : state.names[i];
    state.progress.entry = i;
    state.progress.source = source;
    Report();
    if (!FCIAddFile(*context, source, name, false, NextCabinet, ReportingStatus, BuilderOpenInfo,
                    kCompressMszip)) {
      return FailedAndDestroyed("FCIAddFile", error, std::move(context));
    }
  }
  return true;
}

}  // namespace

CabinetBuilder::CabinetBuilder() {
  State().sources.clear();
  State().names.clear();
}

CabinetBuilder::~CabinetBuilder() {
  CreateCabinet();
}

bool CabinetBuilder::SetCabinetName(std::string_view prefix) {
  if (prefix.size() > kMaxPrefixLength) return false;
  State().prefix = prefix;
  State().created = false;
  return true;
}

bool CabinetBuilder::AddFile(std::string_view source, std::string_view name) {
  State().sources.emplace_back(source);
  State().names.emplace_back(name);
  return true;
}

void CabinetBuilder::SetSizeLimits(std::uint32_t max_cabinet_size, std::uint32_t folder_threshold) {
  State().max_cabinet_size = max_cabinet_size;
  State().folder_threshold = folder_threshold;
}

void CabinetBuilder::SetCompressionThreads(std::size_t threads) {
  State().compression_threads = threads;
}

void CabinetBuilder::SetProgressObserver(CabinetProgressObserver observer) {
  State().observer = std::move(observer);
}

bool CabinetBuilder::CreateCabinet() {
  if (State().created) return true;
  const CabinetParameters parameters = BuildParameters();
  State().progress = StartProgress();
  ProgressTotals totals;
  CabinetError error;
  State().run_files = RunFiles();
  FciHandle context =
      FCICreate(&error, TrackedCallbacks(), parameters, &totals, State().compression_threads);
  if (!context) return Failed("FCICreate", error);
  if (!AddEntries(context, error)) return false;
  if (!FCIFlushCabinet(*context, false, NextCabinet, ReportingStatus)) {
    return FailedAndDestroyed("FCIFlushCabinet", error, std::move(context));
  }
  if (!FCIDestroy(std::move(context))) return Failed("FCIDestroy", error);
  State().created = true;
  return true;
}

int CabinetBuilder::LastCabinetNumber() const {
  return State().last_cabinet_number;
}

const std::string& CabinetBuilder::LastError() const {
  return State().last_error;
}

}  // namespace kb::cabinet

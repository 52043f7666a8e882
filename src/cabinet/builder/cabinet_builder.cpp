#include "cabinet/builder/cabinet_builder.h"

#include <array>
#include <new>
#include <optional>

#include "cabinet/builder/builder_callbacks.h"
#include "cabinet/builder/builder_run.h"
#include "cabinet/writer/cabinet_format.h"
#include "platform/file_name_from_path.h"

namespace kb::cabinet {
namespace {

constexpr std::string_view kFolderBreak = "+";
constexpr std::size_t kMaxNumberDigits = 10;      // of a positive 32-bit cabinet number
constexpr std::size_t kCabinetExtensionSize = 4;  // ".cab"
static_assert(CabinetBuilder::kMaxPrefixLength + kMaxNumberDigits + kCabinetExtensionSize <
              kCabinetNameCapacity);
static_assert(CabinetBuilder::kMaxFileSize == kMaxFolderBytes);

MszipLevel LevelOf(CabinetCompression compression) {
  switch (compression) {
    case CabinetCompression::kFast:
      return MszipLevel::kFast;
    case CabinetCompression::kNormal:
      return MszipLevel::kNormal;
    case CabinetCompression::kBest:
    case CabinetCompression::kNone:
    case CabinetCompression::kLzx:
      break;
  }
  return MszipLevel::kBest;
}

std::uint16_t TypeOf(CabinetCompression compression) {
  switch (compression) {
    case CabinetCompression::kNone:
      return kCompressNone;
    case CabinetCompression::kLzx:
      return kCompressLzx;
    case CabinetCompression::kBest:
    case CabinetCompression::kNormal:
    case CabinetCompression::kFast:
      break;
  }
  return kCompressMszip;
}
// Neither the writer nor an operation of its own failed, but the builder's own memory ran out.
constexpr std::string_view kBuilderOperation = "CreateCabinet";

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
std::string Explanation(std::int32_t code, std::int32_t runtime_error,
                        std::uint32_t max_cabinet_size) {
  if (code != static_cast<std::int32_t>(FciError::kCabinetFile) ||
      runtime_error != kMaxSizeTooSmall) {
    return {};
  }
  return "The maximum cabinet size of " + std::to_string(max_cabinet_size) +
         " bytes is too small: a cabinet of that size has no room for data beside its headers.\n";
}

}  // namespace

CabinetBuilder::~CabinetBuilder() {
  // Its result is for no one: a failure has nobody left to be told.
  if (!failed_) static_cast<void>(CreateCabinet());
}

bool CabinetBuilder::SetCabinetName(std::string_view prefix) {
  if (prefix.size() > kMaxPrefixLength) return false;
  try {
    prefix_ = prefix;
  } catch (const std::bad_alloc&) {
    return false;
  }
  created_ = false;
  return true;
}

bool CabinetBuilder::AddFile(std::string_view source, std::string_view name) {
  try {
    sources_.emplace_back(source);
    try {
      names_.emplace_back(name);
    } catch (const std::bad_alloc&) {
      sources_.pop_back();  // the lists grow together
      throw;
    }
  } catch (const std::bad_alloc&) {
    list_incomplete_ = true;
  }
  return true;
}

void CabinetBuilder::SetRunOptions(CabinetRunOptions options) {
  options_ = std::move(options);
}

bool CabinetBuilder::CreateCabinet() {
  if (created_) return true;
  constexpr auto kAllocFail = static_cast<std::int32_t>(FciError::kAllocFail);
  BuilderRun run(prefix_, options_);
  bool made = false;
  try {
    made = list_incomplete_ ? Failed(kBuilderOperation, kAllocFail, 0) : Run(run);
  } catch (const std::bad_alloc&) {
    // From the builder's own part of the run or its observer; the writer's calls report theirs
    // as code 3. The context and its temporaries are gone with the unwinding.
    run.files().RemoveCabinets();
    made = Failed(kBuilderOperation, kAllocFail, 0);
  }
  last_cabinet_number_ = run.last_cabinet_number();
  cabinet_data_ = made ? run.TakeData() : std::vector<CabinetData>();
  created_ = made;
  failed_ = !made;
  return made;
}

// Sets LastError for a failed operation; returns false.
bool CabinetBuilder::Failed(std::string_view operation, std::int32_t code,
                            std::int32_t runtime_error) {
  try {
    last_error_ = std::string(operation) + "() failed: code " + std::to_string(code) + " [" +
                  std::string(ErrorText(code)) + "]\n" +
                  Explanation(code, runtime_error, options_.max_cabinet_size);
  } catch (const std::bad_alloc&) {
    last_error_.clear();  // no room even for the text: the result alone says it failed
  }
  return false;
}

// Packs the list through the writer; false with LastError set, after removing the cabinets the
// run wrote, since an incomplete set is of no use.
bool CabinetBuilder::Run(BuilderRun& run) {
  run.Start(sources_);
  const std::optional<CabinetParameters> parameters =
      run.Parameters(options_.max_cabinet_size, options_.folder_threshold, options_.whole_folders);
  if (!parameters) {
    return Failed(kBuilderOperation, static_cast<std::int32_t>(FciError::kCabinetFile), 0);
  }
  CabinetError error;
  const auto failed = [&](std::string_view operation) {
    Failed(operation, error.code, error.runtime_error);
    run.files().RemoveCabinets();
    return false;
  };
  FciHandle context = FCICreate(&error, BuilderRun::Callbacks(options_.data_apart), *parameters,
                                &run, options_.compression_threads, LevelOf(options_.compression));
  if (!context) return failed("FCICreate");
  // Every failure after FCICreate destroys the context, which removes the staging temporaries;
  // the failure reported is the one before, not that of FCIDestroy.
  const auto failed_and_destroyed = [&](std::string_view operation) {
    failed(operation);
    static_cast<void>(FCIDestroy(std::move(context)));
    return false;
  };
  for (std::size_t i = 0; i < sources_.size(); ++i) {
    const std::string& source = sources_[i];
    if (source == kFolderBreak) {
      if (!FCIFlushFolder(*context, BuilderRun::NextCabinet, BuilderRun::Status)) {
        return failed_and_destroyed("FCIFlushFolder");
      }
      continue;
    }
    if (run.stop_requested()) {
      error = {.code = static_cast<std::int32_t>(FciError::kUserAbort), .failed = true};
      return failed_and_destroyed("FCIAddFile");
    }
    const std::string_view name =
        names_[i].empty() ? platform::FileNameFromPath(source) : names_[i];
    run.EntryStarting(i, source);
    if (!FCIAddFile(*context, source, name, false, BuilderRun::NextCabinet, BuilderRun::Status,
                    BuilderRun::OpenInfo, TypeOf(options_.compression))) {
      return failed_and_destroyed("FCIAddFile");
    }
  }
  if (!FCIFlushCabinet(*context, false, BuilderRun::NextCabinet, BuilderRun::Status)) {
    return failed_and_destroyed("FCIFlushCabinet");
  }
  if (!FCIDestroy(std::move(context))) return failed("FCIDestroy");
  return true;
}

}  // namespace kb::cabinet

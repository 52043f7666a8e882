#include "cabinet/writer/cabinet_writer.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <utility>

#include "cabinet/writer/fci_context.h"
#include "cabinet/writer/folder_flush.h"

namespace kb::cabinet {
namespace {

bool ReservesFit(const CabinetParameters& parameters) {
  return parameters.header_reserve <= kMaxHeaderReserve &&
         parameters.folder_reserve <= kMaxRecordReserve &&
         parameters.data_reserve <= kMaxRecordReserve;
}

// The source file FCIAddFile reads; closed through the client on every way out.
class SourceFile {
 public:
  SourceFile(const ClientServices& services, int handle) : services_(services), handle_(handle) {}
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;
  ~SourceFile() {
    int ignored = 0;
    services_.Close(handle_, ignored);
  }

 private:
  const ClientServices& services_;
  int handle_;
};

std::size_t WorkerCount(std::size_t requested) {
  if (requested != 0) return requested;
  return std::max<std::size_t>(std::thread::hardware_concurrency(), 1);
}

// Whether the folder is to be closed, given the size of its data staging: when the data passes
// the threshold, or the cabinet would pass its maximum size if the folder went in now, or (with
// whole folders) the cabinet could count no further file record.
bool FolderIsFull(const FciContext& context, std::uint64_t folder_data_size) {
  const std::uint64_t projected_size =
      context.cabinet.fixed_header_size() + context.cabinet.folder_record_size() +
      context.cabinet.StagedSize() + folder_data_size + context.folder.files_size();
  const bool records_full =
      context.cabinet.parameters().whole_folders &&
      context.cabinet.file_count() + context.folder.record_count() >= kMaxRecordCount;
  return folder_data_size > context.cabinet.parameters().folder_threshold ||
         projected_size > context.cabinet.max_size() || records_full;
}

// Whether the folder is to be closed after a file; nullopt after a failure. Blocks still being
// compressed count at their largest size first; only when that could close the folder does the
// decision wait for their real sizes.
std::optional<bool> FolderIsFull(FciContext& context, StatusCallback status) {
  if (!FolderIsFull(context, context.folder.data_size_bound())) return false;
  if (!context.folder.FinishBlocks(status)) return std::nullopt;
  return FolderIsFull(context, context.folder.data_size());
}

// After a failure on the reading side, which runs ahead of the staging: the blocks read
// before it are staged, as they would have been before the failure was met, and a failure
// among them is the one reported.
bool FailedAfterEarlierBlocks(FciContext& context, StatusCallback status) {
  // Its result is not needed: a failure among those blocks has filled the error record over
  // the later one, and the call fails either way.
  static_cast<void>(context.folder.FinishBlocks(status));
  return false;
}

// The size of the source open as `handle`, read at its start again; nullopt when it cannot be
// learnt (the reading then tells how large it is).
std::optional<std::uint64_t> SourceSize(const ClientServices& services, int handle) {
  int err = 0;
  const std::int64_t size = services.Seek(handle, 0, 2, err);
  if (size < 0 || services.Seek(handle, 0, 0, err) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(size);
}

// Whether the open folder is to be closed before a file of `size` bytes joins it: when its
// blocks could not count the file's bytes, or (with whole folders) when the file, however badly
// it compresses, could take the cabinet past its maximum size, so that the folder closed now
// stays whole in this cabinet and the file starts the next folder.
bool ClosesFolderBefore(const FciContext& context, std::uint64_t size) {
  const FolderState& folder = context.folder;
  if (folder.uncompressed_size() + size > kMaxFolderBytes) return true;
  if (!context.cabinet.parameters().whole_folders || folder.record_count() == 0) return false;
  const std::uint64_t worst_block = folder.data_header_size() + folder.block_buffer().size();
  const std::uint64_t worst_file = (size / kBlockSize + 2) * worst_block;
  const std::uint64_t projected_size =
      context.cabinet.fixed_header_size() + context.cabinet.folder_record_size() +
      context.cabinet.StagedSize() + folder.data_size_bound() + folder.files_size() + worst_file;
  return projected_size > context.cabinet.max_size();
}

// Reads the source into the folder and stages its record, closing the folder first when
// ClosesFolderBefore says so: a file that fits a folder of its own is never refused for the
// files before it.
bool StageFile(FciContext& context, int handle, FileRecord record, std::string_view name,
               NextCabinetCallback next_cabinet, StatusCallback status) {
  const SourceFile source(context.services, handle);
  const std::optional<std::uint64_t> source_size = SourceSize(context.services, handle);
  if (source_size && ClosesFolderBefore(context, *source_size) &&
      !FlushFolder(context, false, next_cabinet, status)) {
    return false;
  }
  record.folder_offset = static_cast<std::uint32_t>(context.folder.uncompressed_size());
  const std::optional<std::uint32_t> size = context.folder.ReadFile(handle, status);
  if (!size) return false;
  record.size = *size;
  return context.folder.AppendFileRecord(record, name, status);
}

// FCIAddFile without the containment of allocation failures.
bool AddFile(FciContext& context, std::string_view source, std::string_view name, bool execute,
             NextCabinetCallback next_cabinet, StatusCallback status, OpenInfoCallback open_info,
             std::uint16_t compression_type) {
  if (!FolderState::IsKnownType(compression_type)) {
    return context.services.Fail(FciError::kBadCompressionType);
  }
  if (compression_type != context.folder.type() &&
      (!FlushFolder(context, false, next_cabinet, status) ||
       !context.folder.SwitchType(compression_type))) {
    return false;
  }
  FileRecord record;
  int err = 0;
  const int handle = open_info(std::string(source), record.date, record.time, record.attributes,
                               err, context.services.ctx());
  if (handle == -1) {
    context.services.Fail(FciError::kOpenFile, err);
    return FailedAfterEarlierBlocks(context, status);
  }
  if (execute) record.attributes |= kAttributeExecute;
  if (!StageFile(context, handle, record, name, next_cabinet, status)) {
    return FailedAfterEarlierBlocks(context, status);
  }
  const std::optional<bool> full = FolderIsFull(context, status);
  if (!full) return false;
  return !*full || FlushFolder(context, false, next_cabinet, status);
}

// Runs a writer operation; memory that runs out on the way (for the writer's names, records
// and lists, or in a callback) fails it with kAllocFail instead of leaving the writer.
template <typename Operation>
bool ContainingAllocationFailure(ClientServices& services, Operation operation) {
  try {
    return operation();
  } catch (const std::bad_alloc&) {
    return services.Fail(FciError::kAllocFail);
  }
}

}  // namespace

void FciContextDeleter::operator()(FciContext* context) const {
  const FreeCallback free = context->services.callbacks().free;
  std::destroy_at(context);
  free(context);
}

FciHandle FCICreate(CabinetError* error, const CabinetCallbacks& callbacks,
                    const CabinetParameters& parameters, void* ctx, std::size_t workers,
                    MszipLevel level) {
  ClientServices services(callbacks, error, ctx);
  if (!ReservesFit(parameters)) {
    services.Fail(FciError::kCabinetFile);
    return nullptr;
  }
  void* storage = callbacks.allocate(sizeof(FciContext));
  if (storage == nullptr) {
    services.Fail(FciError::kAllocFail);
    return nullptr;
  }
  FciContext* made = nullptr;
  try {
    made = std::construct_at(static_cast<FciContext*>(storage), callbacks, error, parameters, ctx,
                             WorkerCount(workers), level);
  } catch (const std::bad_alloc&) {
    callbacks.free(storage);
    services.Fail(FciError::kAllocFail);
    return nullptr;
  }
  FciHandle context(made);
  if (!ContainingAllocationFailure(context->services, [&context] {
        return context->folder.CreateTemporaries() && context->cabinet.CreateTemporaries();
      })) {
    return nullptr;
  }
  return context;
}

bool FCIAddFile(FciContext& context, std::string_view source, std::string_view name, bool execute,
                NextCabinetCallback next_cabinet, StatusCallback status, OpenInfoCallback open_info,
                std::uint16_t compression_type) {
  return ContainingAllocationFailure(context.services, [&] {
    return AddFile(context, source, name, execute, next_cabinet, status, open_info,
                   compression_type);
  });
}

bool FCIFlushFolder(FciContext& context, NextCabinetCallback next_cabinet, StatusCallback status) {
  return ContainingAllocationFailure(
      context.services, [&] { return FlushFolder(context, false, next_cabinet, status); });
}

bool FCIFlushCabinet(FciContext& context, bool next_cabinet_flag, NextCabinetCallback next_cabinet,
                     StatusCallback status) {
  return ContainingAllocationFailure(context.services, [&] {
    if (!FlushFolder(context, next_cabinet_flag, next_cabinet, status)) return false;
    if (next_cabinet_flag) return true;
    CabinetState& cabinet = context.cabinet;
    return cabinet.WriteCabinetFile(0, cabinet.CopiedSize(), cabinet.ExpectedSize(), status,
                                    context.folder.carry()) &&
           context.folder.RenewCarry();
  });
}

// Allocates nothing: the staging temporaries close and go, the workers are joined.
bool FCIDestroy(FciHandle context) {
  if (!context) return true;
  const bool folder_gone = context->folder.Destroy();
  const bool cabinet_gone = context->cabinet.Destroy();
  context.reset();
  return folder_gone && cabinet_gone;
}

}  // namespace kb::cabinet

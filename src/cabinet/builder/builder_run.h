#ifndef KITBINDER_CABINET_BUILDER_BUILDER_RUN_H_
#define KITBINDER_CABINET_BUILDER_BUILDER_RUN_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cabinet/builder/cabinet_builder.h"
#include "cabinet/builder/run_files.h"
#include "cabinet/writer/cabinet_writer.h"

namespace kb::cabinet {

// One CreateCabinet run as the writer's callbacks see it: the client context given to
// FCICreate. It names the cabinets, keeps track of the files the run makes and tells the
// observer how the run goes. Used by the thread that runs CreateCabinet only.
class BuilderRun {
 public:
  // REQUIRES: `prefix` and `options` outlive the run.
  BuilderRun(const std::string& prefix, const CabinetRunOptions& options) noexcept
      : prefix_(prefix),
        folder_(options.folder),
        observer_(options.observer),
        file_time_(options.file_time),
        stop_(options.stop) {}
  BuilderRun(const BuilderRun&) = delete;
  BuilderRun& operator=(const BuilderRun&) = delete;

  // The builder's callbacks (builder_callbacks.h) with the file placement reported and the
  // files the writer creates and removes tracked; with `data_apart`, each cabinet's data is
  // kept for TakeData. REQUIRES of FCICreate: ctx is this run.
  static CabinetCallbacks Callbacks(bool data_apart);
  // Names the next cabinet by the same rule as the first; -1 when the name does not fit.
  static int NextCabinet(CabinetParameters& next, std::uint32_t estimated_size, void* ctx);
  // Opens a file to add as BuilderOpenInfo does, its date the run's fixed file time if it has
  // one.
  static int OpenInfo(const std::string& path, std::uint16_t& date, std::uint16_t& time,
                      std::uint16_t& attributes, int& err, void* ctx);
  // Tells the observer of compressed blocks and copied folders. Asks for an abort once the
  // run's stop is requested.
  static std::int32_t Status(std::uint32_t kind, std::uint32_t value1, std::uint32_t value2,
                             void* ctx);

  // Starts the progress of a run over the list `sources`; the files' sizes are read for
  // bytes_total only when the observer hears progress.
  void Start(const std::vector<std::string>& sources);

  // The parameters of the run's first cabinet; nullopt when the folder is longer than
  // kMaxCabinetFolderLength.
  std::optional<CabinetParameters> Parameters(std::uint32_t max_cabinet_size,
                                              std::uint32_t folder_threshold, bool whole_folders);

  // Tells the observer that entry `index`, a file at `source`, is about to be added.
  void EntryStarting(std::size_t index, std::string_view source);

  // Whether the run is to end before its next file.
  bool stop_requested() const { return stop_.stop_requested(); }

  // The number of the last cabinet the run started.
  int last_cabinet_number() const { return last_cabinet_number_; }
  RunFiles& files() { return files_; }
  // The data the writer handed over, in cabinet order (see CabinetRunOptions::data_apart).
  std::vector<CabinetData> TakeData() { return std::move(data_); }

 private:
  static BuilderRun& Of(void* ctx) { return *static_cast<BuilderRun*>(ctx); }
  static int FilePlaced(const CabinetParameters& parameters, std::string_view name,
                        std::uint32_t size, bool continuation, void* ctx);
  static int TrackedOpen(const std::string& path, int flags, int mode, int& err, void* ctx);
  static int TrackedClose(int handle, int& err, void* ctx);
  static int TrackedRemove(const std::string& path, int& err, void* ctx);
  static bool TempName(std::span<char> buffer, void* ctx);
  static int DataApart(int handle, std::uint64_t size, void* ctx);

  // "<prefix><number>.cab"; false when it does not fit the name field.
  bool FormatCabinetName(int number, CabinetName& name) const;

  const std::string& prefix_;
  const std::string& folder_;
  const CabinetObserver& observer_;
  const std::optional<std::int64_t> file_time_;
  const std::stop_token& stop_;
  CabinetProgress progress_;
  int last_cabinet_number_ = 1;
  RunFiles files_;
  std::vector<CabinetData> data_;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_BUILDER_BUILDER_RUN_H_

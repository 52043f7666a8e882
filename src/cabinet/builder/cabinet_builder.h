#ifndef KITBINDER_CABINET_BUILDER_CABINET_BUILDER_H_
#define KITBINDER_CABINET_BUILDER_CABINET_BUILDER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "cabinet/builder/cabinet_compression.h"
#include "platform/unique_fd.h"

namespace kb::cabinet {

class BuilderRun;  // the state of one CreateCabinet, in builder_run.h

// The data blocks of a cabinet whose file holds the rest (CabinetRunOptions::data_apart): the
// first `size` bytes of `file`, an open file without a name.
struct CabinetData {
  platform::UniqueFd file;
  std::uint64_t size = 0;
};

// Where a CreateCabinet run stands.
struct CabinetProgress {
  std::size_t entry = 0;              // the entry being added, from 0
  std::size_t entry_count = 0;        // entries in the list, folder breaks included
  std::string_view source;            // the entry's source path; valid during the report only
  std::int64_t bytes_done = 0;        // uncompressed bytes compressed so far
  std::int64_t compressed_bytes = 0;  // what those bytes were compressed to
  std::int64_t bytes_total = 0;       // the sizes of the source files when the run began
};

// A file record placed into a cabinet. The views are valid during the report only.
struct CabinetPlacement {
  std::string_view name;      // the name stored in the cabinet
  std::uint32_t size = 0;     // the file's size
  std::string_view cabinet;   // the cabinet's file name, "<prefix><number>.cab"
  bool continuation = false;  // the record is a later segment of a file continued from before
};

// Hears a CreateCabinet run; the builder itself prints nothing. Any member may be empty. Each
// is called on the thread that runs CreateCabinet, in the order the events happen, and must
// not call the builder nor throw anything but std::bad_alloc (which fails the run). The builder
// keeps a copy; whatever the functions refer to stays the caller's and must outlive the runs.
struct CabinetObserver {
  // An entry other than a folder break is about to be added.
  std::function<void(const CabinetProgress&)> entry_starting{};
  // A data block has been compressed: bytes_done and compressed_bytes have grown.
  std::function<void(const CabinetProgress&)> block_compressed{};
  // A file record has been placed into a cabinet.
  std::function<void(const CabinetPlacement&)> file_placed{};
  // A folder is being copied into a cabinet: the share copied so far, 0 to 100.
  std::function<void(std::uint32_t percent)> folder_copying{};
};

inline constexpr std::uint32_t kDefaultMaxCabinetSize = 600000000;
inline constexpr std::uint32_t kDefaultFolderThreshold = 900000;
// The longest folder a builder writes its cabinets in: the writer's cabinet path holds 255
// characters, the separator included.
inline constexpr std::size_t kMaxCabinetFolderLength = 254;

// How a builder's runs go beside their files.
struct CabinetRunOptions {
  // Bytes a cabinet may occupy before the files continue in the next; 0 means 134,217,727.
  std::uint32_t max_cabinet_size = kDefaultMaxCabinetSize;
  // Compressed bytes after which a folder is closed.
  std::uint32_t folder_threshold = kDefaultFolderThreshold;
  // Threads that compress the data blocks: 0 one per hardware thread, 1 the calling thread
  // alone. The cabinet is the same to the byte either way.
  std::size_t compression_threads = 0;
  // Each file in one cabinet, and each cabinet readable alone; a file too large for any cabinet
  // of the maximum size gets a larger one of its own (see CabinetParameters::whole_folders).
  // Also lets a run pack more files than one cabinet can count.
  bool whole_folders = false;
  // How the folders are compressed; kBest unless the user chose otherwise.
  CabinetCompression compression = CabinetCompression::kBest;
  CabinetObserver observer{};
  // The folder the cabinets are written in, at most kMaxCabinetFolderLength characters; empty
  // for the current folder. The names the observer hears and the cabinets hold stay without it.
  // The staging temporaries go there too when neither TMPDIR nor TMP is set, as they would
  // have gone to the current folder.
  std::string folder{};
  // Every file's date in the cabinet, in seconds since 1970 UTC (a reproducible build's
  // SOURCE_DATE_EPOCH); nullopt for each file's modification time in local time.
  std::optional<std::int64_t> file_time{};
  // Each cabinet file holds all but its data blocks, which TakeCabinetData hands over: for a
  // caller that stores each cabinet once, joined, where it goes (see
  // cabinet::CabinetCallbacks::data_apart), instead of after a copy of its data into the file.
  bool data_apart = false;
  // Once a stop is requested, the run ends at the next block or file, failing with the writer's
  // code 7 (client requested abort) and removing what it wrote. A default token never stops.
  std::stop_token stop{};
};

// The program's way to make a cabinet: collects (source path, name in cabinet) pairs and packs
// them, MSZIP-compressed or stored as the options say, into "<prefix>1.cab" in the current folder
// (and "<prefix>2.cab"
// ... when the first would pass its maximum size). Progress reaches the caller through the
// observer of its CabinetRunOptions. Each instance has its own state; not thread-safe.
//
//   CabinetBuilder builder;            // an empty list, the default options
//   builder.SetCabinetName("Install");
//   builder.AddFile("C:\\dir\\a.txt", "");
//   if (!builder.CreateCabinet()) Show(builder.LastError());
class CabinetBuilder {
 public:
  // The largest file a cabinet holds: one folder's 65,535 data blocks of 32,768 bytes.
  static constexpr std::uint64_t kMaxFileSize = 2147450880;
  // Leaves room for ten digits and ".cab" in a 255-character name.
  static constexpr std::size_t kMaxPrefixLength = 241;

  // An empty list, an empty prefix, no run made yet.
  CabinetBuilder() = default;
  // Unless the latest run failed, runs CreateCabinet and ignores its result: a builder never
  // run makes its cabinet all the same, one whose run succeeded does nothing (unless
  // SetCabinetName came after). After a failed run it does nothing: that run has already taken
  // back what it wrote, and another would start the progress over.
  ~CabinetBuilder();
  CabinetBuilder(const CabinetBuilder&) = delete;
  CabinetBuilder& operator=(const CabinetBuilder&) = delete;

  // Stores the prefix of the cabinet names and clears the created flag. Returns false, changing
  // nothing, when the prefix is longer than kMaxPrefixLength or memory runs out.
  [[nodiscard]] bool SetCabinetName(std::string_view prefix);

  // Appends an entry. `source` "+" is a folder break. An empty `name` stores the file under
  // the final component of `source` (after the last "/" or "\"). Returns true: when memory
  // runs out the list is incomplete, and the next CreateCabinet fails for that reason.
  bool AddFile(std::string_view source, std::string_view name);

  // Sets how later runs go (by default as CabinetRunOptions{}).
  void SetRunOptions(CabinetRunOptions options);

  // Makes the cabinet unless a run since the last SetCabinetName succeeded. Returns true when
  // the cabinet exists; false with LastError set, after removing every cabinet the run wrote
  // (a set with a cabinet missing is of no use). A run ended by a signal leaves neither its
  // staging temporaries nor the cabinet it was writing once the program has called
  // platform::RemoveMarkedFilesOnSignals. When memory runs out in the writer, the failure is
  // the writer's code 3; when it runs out in the builder's own part or its observer (or the
  // list is incomplete), LastError is "CreateCabinet() failed: code 3 [Insufficient memory in
  // FCI]\n".
  [[nodiscard]] bool CreateCabinet();

  // The number of the last cabinet the latest run started: 1 unless the files spanned several
  // cabinets ("<prefix>1.cab" to "<prefix><n>.cab").
  int LastCabinetNumber() const { return last_cabinet_number_; }

  // With CabinetRunOptions::data_apart, the data of each cabinet the latest successful run
  // made, in cabinet order; the caller owns them. Empty once taken, and after a failed run.
  std::vector<CabinetData> TakeCabinetData() { return std::move(cabinet_data_); }

  // The text of the most recent failure, ending in a line feed.
  const std::string& LastError() const { return last_error_; }

 private:
  [[nodiscard]] bool Run(BuilderRun& run);
  bool Failed(std::string_view operation, std::int32_t code, std::int32_t runtime_error);

  std::vector<std::string> sources_;
  std::vector<std::string> names_;  // same index as sources_; may be empty
  std::string prefix_;
  CabinetRunOptions options_;
  bool created_ = false;          // a run since the last SetCabinetName succeeded
  bool failed_ = false;           // the latest run failed
  bool list_incomplete_ = false;  // an AddFile ran out of memory
  int last_cabinet_number_ = 0;
  std::vector<CabinetData> cabinet_data_;
  std::string last_error_;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_BUILDER_CABINET_BUILDER_H_

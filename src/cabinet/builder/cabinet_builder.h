#ifndef KITBINDER_CABINET_BUILDER_CABINET_BUILDER_H_
#define KITBINDER_CABINET_BUILDER_CABINET_BUILDER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kb::cabinet {

// Where a CreateCabinet run stands.
struct CabinetProgress {
  std::size_t entry = 0;         // the entry being added, from 0
  std::size_t entry_count = 0;   // entries in the list, folder breaks included
  std::string_view source;       // the entry's source path; valid during the report only
  std::int64_t bytes_done = 0;   // uncompressed bytes compressed so far
  std::int64_t bytes_total = 0;  // the sizes of the source files when the run began
};

// Hears a CreateCabinet run: when an entry is about to be added and after each data block has
// been compressed. It is called on the thread that runs CreateCabinet and must not call the
// builder.
using CabinetProgressObserver = std::function<void(const CabinetProgress&)>;

// The program's way to make a cabinet: collects (source path, name in cabinet) pairs and packs
// them with MSZIP compression into "<prefix>1.cab" in the current folder (and "<prefix>2.cab"
// ... when the first would pass its maximum size), printing progress lines on standard output.
//
// The state is process-wide: every instance shares one list of files, one prefix, one created
// flag and one LastError, so only one build may use it at a time. Not thread-safe.
//
//   CabinetBuilder builder;            // empties the list
//   builder.SetCabinetName("Install");
//   builder.AddFile("C:\\dir\\a.txt", "");
//   if (!builder.CreateCabinet()) Show(builder.LastError());
class CabinetBuilder {
 public:
  static constexpr std::uint32_t kDefaultMaxCabinetSize = 600000000;
  static constexpr std::uint32_t kDefaultFolderThreshold = 900000;
  // The largest file a cabinet holds: one folder's 65,535 data blocks of 32,768 bytes.
  static constexpr std::uint64_t kMaxFileSize = 2147450880;
  // Leaves room for ten digits and ".cab" in a 255-character name.
  static constexpr std::size_t kMaxPrefixLength = 241;

  // Empties the list of files; the prefix, the created flag and LastError stay.
  CabinetBuilder();
  // Runs CreateCabinet and ignores its result: nothing after a successful run, one more
  // complete attempt after a failed or missing one.
  ~CabinetBuilder();
  CabinetBuilder(const CabinetBuilder&) = delete;
  CabinetBuilder& operator=(const CabinetBuilder&) = delete;

  // Stores the prefix of the cabinet names and clears the created flag. Returns false, changing
  // nothing, when the prefix is longer than kMaxPrefixLength.
  bool SetCabinetName(std::string_view prefix);

  // Appends an entry. `source` "+" is a folder break. An empty `name` stores the file under
  // the final component of `source` (after the last "/" or "\"). Returns true.
  bool AddFile(std::string_view source, std::string_view name);

  // Sets the maximum cabinet size and the folder threshold of later runs (by default
  // kDefaultMaxCabinetSize and kDefaultFolderThreshold; a maximum of 0 means 134,217,727).
  static void SetSizeLimits(std::uint32_t max_cabinet_size, std::uint32_t folder_threshold);

  // Sets how many threads compress the data blocks of later runs: 0 (the default) one per
  // hardware thread, 1 the calling thread alone. The cabinet is the same to the byte either way.
  static void SetCompressionThreads(std::size_t threads);

  // Makes `observer` hear later runs (process-wide, like the rest of the state); an empty one
  // hears nothing. The progress lines on standard output stay the same either way.
  static void SetProgressObserver(CabinetProgressObserver observer);

  // Makes the cabinet unless a run since the last SetCabinetName succeeded. Returns true when
  // the cabinet exists; false with LastError set, after removing every cabinet the run wrote
  // (a set with a cabinet missing is of no use). A run ended by a signal leaves neither its
  // staging temporaries nor the cabinet it was writing once the program has called
  // platform::RemoveMarkedFilesOnSignals.
  bool CreateCabinet();

  // The number of the last cabinet the latest run started: 1 unless the files spanned several
  // cabinets ("<prefix>1.cab" to "<prefix><n>.cab").
  int LastCabinetNumber() const;

  // The text of the most recent failure, ending in a line feed.
  const std::string& LastError() const;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_BUILDER_CABINET_BUILDER_H_

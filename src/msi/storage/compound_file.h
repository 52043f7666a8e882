#ifndef KITBINDER_MSI_STORAGE_COMPOUND_FILE_H_
#define KITBINDER_MSI_STORAGE_COMPOUND_FILE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/unique_fd.h"

namespace kb::msi {

enum class [[nodiscard]] StorageError{
    kNone = 0,
    kIo,        // the operating system refused a read, write, sync or rename
    kCorrupt,   // the file is not a compound file, or its structures contradict each other
    kNotFound,  // no stream or storage of that name (from Open: no such file)
    kReadOnly,  // a change was staged on a file opened read-only
    kTooLarge,  // a stream or file past what the format (or our memory bound) allows
    kBadName,   // a name the format cannot hold (empty, over 31 UTF-16 units, or holding
                // / \ : ! or a null), or the name of a storage given for a stream
};

using Clsid = std::array<std::uint8_t, 16>;

class StagedStream;

// What tells one state of a file's contents from another: its size and modification time.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;
  bool operator==(const FileStamp&) const = default;
};

// The CLSID of a Windows Installer database ({000C1084-0000-0000-C000-000000000046}),
// as stored in the root directory entry.
inline constexpr Clsid kInstallerDatabaseClsid = {0x84, 0x10, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                  0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// The root storage of a compound file (Compound File Binary format, version 3 or 4), with the
// streams and sub-storages directly below it. Names are the raw UTF-16 directory names; the
// installer's folding of table and stream names into them is stream_name.h's.
//
// Reads go to the file on demand: no stream is held whole in memory unless a caller asks for
// it. Changes (WriteStream, WriteStreamFromFile, RemoveStream, WriteStorage, RemoveStorage)
// are staged and reach the file only at Commit, which writes just what changed since the last
// commit and is atomic: a process killed at any moment leaves the file holding either the
// previous committed state or the new one. Sub-storages are written whole, as copies of other
// compound files, or kept as they are; their contents are not read here.
//
// Reads see the staged state: a stream written but not committed reads back as written.
// Names are matched as the format orders them, ignoring letter case: writing "a" replaces
// "A" and takes the new spelling. Not thread-safe. Owns its file descriptor.
class CompoundFile {
 public:
  enum class Mode { kReadOnly, kReadWrite };

  // Opens an existing compound file with 512- or 4,096-byte sectors. Returns null and sets
  // *error on failure; a damaged file gives kCorrupt, never a crash or a huge allocation (a
  // directory past 16 MB gives kTooLarge). Every structure is checked here, so later reads
  // fail only when the system refuses or the file changes under us.
  [[nodiscard]] static std::unique_ptr<CompoundFile> Open(const std::string& path, Mode mode,
                                                          StorageError* error);

  // Opens the compound file at `path` to read, with its changes going to `output`: `path` is
  // never written; the first Commit writes `output` whole (the file's state with the changes,
  // under a temporary name beside it, then renamed over it) and later ones change `output` in
  // place. Fails as Open does.
  [[nodiscard]] static std::unique_ptr<CompoundFile> OpenWithOutput(const std::string& path,
                                                                    const std::string& output,
                                                                    StorageError* error);

  // Starts a new, empty compound file (512-byte sectors) whose root carries `clsid`. Nothing is
  // written before the first Commit; an existing file at `path` is replaced at that Commit.
  [[nodiscard]] static std::unique_ptr<CompoundFile> Create(const std::string& path,
                                                            const Clsid& clsid,
                                                            StorageError* error);

  ~CompoundFile();
  CompoundFile(const CompoundFile&) = delete;
  CompoundFile& operator=(const CompoundFile&) = delete;

  const Clsid& clsid() const;

  // True once a Commit failed after it had begun to write the header: the file then holds the
  // previous committed state or the new one, and reopening it tells which, but this object
  // cannot. Every later call fails (kIo, or no streams) rather than guess.
  bool failed() const;

  // Names of the streams (or sub-storages) directly in the root, in no particular order, as
  // staged.
  std::vector<std::u16string> StreamNames() const;
  std::vector<std::u16string> StorageNames() const;

  // Size of a stream; nullopt when there is no such stream.
  [[nodiscard]] std::optional<std::uint64_t> StreamSize(std::u16string_view name) const;

  // Reads up to out.size() bytes of a stream from `offset`. Returns the number of bytes read
  // (short only at the stream's end), or nullopt with *error set (kNotFound, kCorrupt, kIo).
  [[nodiscard]] std::optional<std::size_t> ReadStream(std::u16string_view name,
                                                      std::uint64_t offset,
                                                      std::span<std::byte> out,
                                                      StorageError* error) const;

  // Reads a whole stream, refusing (kTooLarge) one above `limit` bytes. For table streams and
  // other small data; large streams are read in pieces with ReadStream.
  [[nodiscard]] std::optional<std::vector<std::byte>> ReadWholeStream(std::u16string_view name,
                                                                      std::size_t limit,
                                                                      StorageError* error) const;

  // Stages a stream's new contents, replacing any stream of that name. kBadName for a name
  // the format cannot hold or that names a storage; kTooLarge past 2 GB in a file with
  // 512-byte sectors.
  StorageError WriteStream(std::u16string_view name, std::vector<std::byte> data);

  // Stages a stream whose contents are the file at `path`, copied in chunks at Commit. The
  // file is opened now (kIo when it cannot be) and its size taken; it may be renamed or
  // deleted before Commit, but not written to.
  StorageError WriteStreamFromFile(std::u16string_view name, const std::string& path);
  // The same for a file already open, read through `file` (which this object then owns) at
  // Commit; `stamp` is the file as it was when its bytes were chosen, and a Commit that finds
  // it written to since fails (kIo) rather than store other bytes. REQUIRES: `file` is open for
  // reading.
  StorageError WriteStreamFromFile(std::u16string_view name, platform::UniqueFd file,
                                   FileStamp stamp);

  // Stages every change of `changes` (new contents, or a removal, which asks nothing of a
  // stream that is not there) or, when the format refuses one, none, answering as
  // WriteStreamFromFile does.
  StorageError WriteStreams(std::vector<std::pair<std::u16string, StagedStream>> changes);

  // Stages the removal of a stream. kNotFound when there is none.
  StorageError RemoveStream(std::u16string_view name);

  // Stages a sub-storage of the root named `name` that holds a copy of the whole compound file
  // open on `file` (its streams and storages, at any depth, and its root's CLSID), replacing
  // any storage of that name. The file's structures are read and checked now; its streams are
  // copied at Commit, which fails (kIo) if the file was written to since `stamp`. kCorrupt when
  // the file is no compound file or is damaged, kBadName for a name the format cannot hold or
  // that names a stream, kTooLarge for a stream past 2 GB in a file with 512-byte sectors.
  // REQUIRES: `file` is open for reading.
  StorageError WriteStorage(std::u16string_view name, platform::UniqueFd file, FileStamp stamp);

  // Stages the removal of a sub-storage with everything below it. kNotFound when there is none.
  StorageError RemoveStorage(std::u16string_view name);

  // Writes the staged changes. kReadOnly for a file opened read-only.
  StorageError Commit();

 private:
  class Impl;
  explicit CompoundFile(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_STORAGE_COMPOUND_FILE_H_

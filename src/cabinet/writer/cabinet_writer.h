#ifndef KITBINDER_CABINET_WRITER_CABINET_WRITER_H_
#define KITBINDER_CABINET_WRITER_CABINET_WRITER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "cabinet/deflate/mszip_level.h"

// The cabinet writer: turns a sequence of files into one or more Microsoft Cabinet files
// (format version 1.3). The client creates a context with FCICreate, adds files with
// FCIAddFile, may close folders with FCIFlushFolder, writes the cabinet with FCIFlushCabinet
// and ends with FCIDestroy.
//
// The writer touches no file system and allocates its buffers through the client's callbacks.
// It reads each file into 32,768-byte blocks, compresses them (MSZIP or stored) into staging
// temporaries, and assembles a cabinet file only when it is complete. When the cabinet would
// outgrow its maximum size, the writer closes it, asks the client to name the next one and
// continues the open folder there. Memory per context does not grow with the input: two
// block buffers per block in flight, the compressors' buffers and a copy buffer while a cabinet
// is assembled.
//
// MSZIP blocks are compressed by worker threads while the files are read; the blocks go to the
// staging in order, and every byte written is what compressing one block after the other
// makes, whatever the number of workers. Every callback is called on the thread that called
// the writer: the writes, status reports and placements in the same order as with one worker,
// while reading may run a fixed number of blocks ahead. So a block that fails to be staged
// fails the call that stages it: the FCIAddFile that read it or a later call, at the latest the
// flush that closes its folder, with the error record one worker would have filled. The
// workers live from the first FCIAddFile until FCIDestroy (or the destruction of the handle),
// which joins them.
//
// Not thread-safe: one thread calls a context; separate contexts share nothing but the
// callbacks.
//
// No exception leaves the writer: when memory runs out (the writer's own, or a callback throws
// std::bad_alloc), the call fails with kAllocFail, and the context is then good only for
// FCIDestroy.

namespace kb::cabinet {

// Error codes of CabinetError::code.
enum class FciError : std::int32_t {
  kNone = 0,
  kOpenFile = 1,   // a source file could not be opened
  kReadFile = 2,   // a source file could not be read, or is larger than a folder holds
  kAllocFail = 3,  // an allocation failed
  kTempFile = 4,   // a staging temporary could not be created, written, read or removed
  kBadCompressionType = 5,
  kCabinetFile = 6,  // the cabinet file could not be written, or its layout cannot be stored
  kUserAbort = 7,    // a callback returned -1
  kCompressorFail = 8,
};

// Filled by the writer at the point of failure.
struct CabinetError {
  std::int32_t code = 0;           // an FciError value
  std::int32_t runtime_error = 0;  // what the failing callback stored in its error argument
  bool failed = false;             // set on every error
};

// CabinetError::runtime_error of a kCabinetFile failure that no callback caused: the maximum
// cabinet size leaves no room for a byte of data beside the cabinet's headers and records.
inline constexpr std::int32_t kMaxSizeTooSmall = -2;

// Compression types of FCIAddFile.
inline constexpr std::uint16_t kCompressNone = 0;
inline constexpr std::uint16_t kCompressMszip = 1;
// LZX with a 2 MB window (type 3, window bits 21 in bits 8 to 12), the only LZX window made.
inline constexpr std::uint16_t kCompressLzx = 0x1503;

inline constexpr std::size_t kCabinetNameCapacity = 256;  // 255 characters and the NUL
using CabinetName = std::array<char, kCabinetNameCapacity>;

// What the client says about the cabinets. The name fields are NUL-terminated.
struct CabinetParameters {
  std::uint32_t max_cabinet_size = 0;       // bytes a cabinet may occupy; 0 means 134,217,727
  std::uint32_t folder_threshold = 0;       // compressed bytes after which a folder is closed
  std::uint32_t header_reserve = 0;         // reserved bytes in each cabinet header, at most 60,000
  std::uint32_t folder_reserve = 0;         // reserved bytes in each folder record, at most 255
  std::uint32_t data_reserve = 0;           // reserved bytes in each data block header, at most 255
  std::int32_t cabinet_number = 0;          // the client's own sequence number
  std::int32_t disk_number = 0;             // cabinets on one disk share the remaining size
  std::int32_t fail_on_incompressible = 0;  // kept, without effect
  // A folder that does not fit in what the cabinet has left (or whose file records the cabinet
  // cannot count) ends the cabinet and starts the next one whole, so that each file lies in one
  // cabinet and each cabinet stands alone: such a cabinet names no neighbour. A folder that no
  // cabinet of the maximum size could hold gets a cabinet of its own, that large (at most the
  // 4 GB a cabinet can count). Only FCIFlushCabinet with its flag still spans.
  bool whole_folders = false;
  std::uint16_t set_id = 0;  // written into every cabinet of the set
  CabinetName disk_name{};
  CabinetName cabinet_name{};
  CabinetName cabinet_path{};  // joined directly in front of cabinet_name; ends in a separator
};

// Callbacks. `ctx` is the client context given to FCICreate; `err` receives a runtime error
// number when the call fails.
//
// REQUIRES of the client: open returns -1 or a handle the other file callbacks accept; read
// returns the bytes read (0 at end, -1 on error); write returns buffer.size() unless it fails;
// close and remove return 0 on success; seek takes origin 0 (start), 1 (current) or 2 (end)
// and returns the new position or -1.
// Returns memory aligned for any object (as malloc does), or null on failure.
using AllocateCallback = void* (*)(std::size_t size);
using FreeCallback = void (*)(void* block);
using OpenCallback = int (*)(const std::string& path, int flags, int mode, int& err, void* ctx);
using ReadCallback = std::int32_t (*)(int handle, std::span<std::byte> buffer, int& err, void* ctx);
using WriteCallback = std::int32_t (*)(int handle, std::span<const std::byte> buffer, int& err,
                                       void* ctx);
using CloseCallback = int (*)(int handle, int& err, void* ctx);
using SeekCallback = std::int64_t (*)(int handle, std::int64_t distance, int origin, int& err,
                                      void* ctx);
using RemoveCallback = int (*)(const std::string& path, int& err, void* ctx);
// Stores a NUL-terminated unused file name in `buffer` (256 bytes) and returns true.
using TempNameCallback = bool (*)(std::span<char> buffer, void* ctx);
// Called once per file record as it is placed into a cabinet; -1 aborts.
using FilePlacedCallback = int (*)(const CabinetParameters& parameters, std::string_view name,
                                   std::uint32_t size, bool continuation, void* ctx);
// Names the next cabinet: `next` is a copy of the current parameters with cabinet_number
// already advanced; the callback fills in its names and sizes. -1 aborts.
using NextCabinetCallback = int (*)(CabinetParameters& next, std::uint32_t estimated_size,
                                    void* ctx);
// Progress; -1 aborts. Kinds are the StatusKind values. For kCabinetWritten the returned value
// is subtracted from the remaining maximum size of the cabinets on this disk.
using StatusCallback = std::int32_t (*)(std::uint32_t kind, std::uint32_t value1,
                                        std::uint32_t value2, void* ctx);
// Takes the data staging of the cabinet just written, open as `handle` (whose name is already
// removed), the cabinet's data blocks its first `size` bytes: the cabinet is its file followed by
// those bytes. The client owns the handle from the call on and closes it through its own means.
// -1 aborts.
using DataApartCallback = int (*)(int handle, std::uint64_t size, void* ctx);
// Opens a source file for reading and fills its MS-DOS date, time and attributes. -1 on failure.
using OpenInfoCallback = int (*)(const std::string& path, std::uint16_t& date, std::uint16_t& time,
                                 std::uint16_t& attributes, int& err, void* ctx);

enum StatusKind : std::uint32_t {
  kStatusBlockCompressed = 0,  // value1 compressed bytes, value2 uncompressed bytes
  kStatusCopyingFolder = 1,    // value1 bytes so far, value2 the total
  kStatusCabinetWritten = 2,   // value1 the estimated size, value2 the real size
};

// Flag and mode values the writer passes to OpenCallback (those of the C runtime's _open).
inline constexpr int kOpenTemporaryFlags = 0x8502;  // read/write, create, exclusive, binary
inline constexpr int kOpenCabinetFlags = 0x8302;    // read/write, create, truncate, binary
inline constexpr int kOpenMode = 0x180;             // read and write permission

struct CabinetCallbacks {
  FilePlacedCallback file_placed;
  AllocateCallback allocate;
  FreeCallback free;
  OpenCallback open;
  ReadCallback read;
  WriteCallback write;
  CloseCallback close;
  SeekCallback seek;
  RemoveCallback remove;
  TempNameCallback temp_name;
  // Null: every cabinet file is whole. Set: a cabinet file holds all but the data blocks, which
  // this callback takes instead, for a client that stores each cabinet once, joined, where it
  // goes (rather than after a copy of its data into the file). The headers and records are
  // those of the whole cabinet.
  DataApartCallback data_apart = nullptr;
};

class FciContext;
struct FciContextDeleter {
  void operator()(FciContext* context) const;  // releases as FCIDestroy does, ignoring failures
};
using FciHandle = std::unique_ptr<FciContext, FciContextDeleter>;

// Makes a context with its five staging temporaries. `workers` threads compress MSZIP blocks:
// 1 compresses them on the calling thread, 0 means one per hardware thread. MSZIP blocks are
// searched as `level` says; the cabinet format records no level, so any reader takes them.
// REQUIRES: every callback is set; *error outlives the context. Returns null after filling
// *error (codes 3, 4, or 6 for reserves larger than a cabinet can record).
[[nodiscard]] FciHandle FCICreate(CabinetError* error, const CabinetCallbacks& callbacks,
                                  const CabinetParameters& parameters, void* ctx,
                                  std::size_t workers = 0, MszipLevel level = MszipLevel::kBest);

// Adds the file `source` under `name` (stored byte for byte up to its first NUL; at most 255
// bytes, or the folder flush that places it fails with code 4). A change of compression type
// closes the folder first, and so does a file that would take the folder past the
// kMaxFolderBytes its blocks can count. The execute flag adds attribute 0x40. The folder is
// closed once its staged data passes the threshold or the cabinet would pass its maximum size
// (or, with whole folders, count more than kMaxRecordCount file records).
[[nodiscard]] bool FCIAddFile(FciContext& context, std::string_view source, std::string_view name,
                              bool execute, NextCabinetCallback next_cabinet, StatusCallback status,
                              OpenInfoCallback open_info, std::uint16_t compression_type);

// Closes the current folder into the cabinet staging; an empty folder is left alone.
[[nodiscard]] bool FCIFlushFolder(FciContext& context, NextCabinetCallback next_cabinet,
                                  StatusCallback status);

// With next_cabinet_flag false: closes the folder and writes the cabinet file (a context with
// nothing added writes the 36-byte header alone). With true: closes the folder in spanning
// mode, so that a folder holding anything ends this cabinet and a next one is requested.
[[nodiscard]] bool FCIFlushCabinet(FciContext& context, bool next_cabinet_flag,
                                   NextCabinetCallback next_cabinet, StatusCallback status);

// Closes and removes the staging temporaries and frees the context; data never flushed is
// discarded. Returns false (code 4 in the error record) when a close or remove failed.
[[nodiscard]] bool FCIDestroy(FciHandle context);

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_WRITER_CABINET_WRITER_H_

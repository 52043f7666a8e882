#ifndef KITBINDER_CABINET_WRITER_TEMP_FILE_H_
#define KITBINDER_CABINET_WRITER_TEMP_FILE_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "cabinet/writer/client_services.h"

namespace kb::cabinet {

// A staging temporary, reached through the client's callbacks: appended to, read back from any
// place, and patched in place. Owns the file: destruction closes and removes it (failures
// ignored; Destroy reports them). Every failure is reported as kTempFile.
class TempFile {
 public:
  // REQUIRES: *services outlives this object.
  explicit TempFile(ClientServices* services) : services_(services) {}
  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&& other) noexcept;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();

  // Makes a new empty temporary: up to 11 times asks for a name and creates it exclusively.
  // REQUIRES: !is_open().
  [[nodiscard]] bool Create();

  // Counts the bytes into size() and appends them at the end, wherever reading had got to.
  [[nodiscard]] bool Append(std::span<const std::byte> bytes);

  // Writes `bytes` over what lies at `offset`. REQUIRES: offset + bytes.size() <= size().
  [[nodiscard]] bool Overwrite(std::int64_t offset, std::span<const std::byte> bytes);

  // Positions at `offset` from the start for reading.
  [[nodiscard]] bool SeekTo(std::int64_t offset);

  // Reads until `out` is full or the file ends; returns how many bytes it read, or nullopt
  // after reporting.
  [[nodiscard]] std::optional<std::size_t> ReadFull(std::span<std::byte> out);

  // Reads exactly out.size() bytes; an early end of the file is a failure.
  [[nodiscard]] bool ReadExact(std::span<std::byte> out);

  // Closes and removes the file. Returns false after reporting when either step failed.
  [[nodiscard]] bool Destroy();

  // Removes the file's name and gives up the open file: the handle is the caller's to close.
  // nullopt after reporting when the name could not be removed.
  [[nodiscard]] std::optional<int> Release();

  bool is_open() const { return handle_ != -1; }
  std::uint64_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  bool Fail(int err) { return services_->Fail(FciError::kTempFile, err); }

  ClientServices* services_;
  int handle_ = -1;
  std::uint64_t size_ = 0;
  bool at_end_ = true;  // whether the file position is at size(), where Append writes
  std::string name_;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_WRITER_TEMP_FILE_H_

#ifndef KITBINDER_MSI_DB_STREAM_SOURCE_H_
#define KITBINDER_MSI_DB_STREAM_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "msi/storage/compound_file.h"
#include "msi/storage/staged_stream.h"
#include "platform/unique_fd.h"

namespace kb::msi {

// The bytes behind a stream field of a record, read in pieces on demand so that no stream is
// held whole in memory.
class StreamSource {
 public:
  virtual ~StreamSource() = default;
  virtual std::uint64_t size() const = 0;
  // Reads up to out.size() bytes from `offset`; the count read, short only at the end.
  [[nodiscard]] virtual std::optional<std::size_t> Read(std::uint64_t offset,
                                                        std::span<std::byte> out) const = 0;
  // The database stream holding the bytes (its stored name), or null.
  virtual const std::u16string* stored_name() const { return nullptr; }
  // True for a sub-storage, which a field can hold but which has no bytes to read as one
  // stream.
  virtual bool is_storage() const { return false; }
};

// A sub-storage of a database (a `_Storages` row's `Data`), named by its stored name: it reads
// as no bytes, and storing it where it already is changes nothing.
class SubStorageSource : public StreamSource {
 public:
  explicit SubStorageSource(std::u16string name) : name_(std::move(name)) {}

  std::uint64_t size() const override { return 0; }
  [[nodiscard]] std::optional<std::size_t> Read(std::uint64_t /*offset*/,
                                                std::span<std::byte> /*out*/) const override {
    return std::nullopt;
  }
  const std::u16string* stored_name() const override { return &name_; }
  bool is_storage() const override { return true; }

 private:
  std::u16string name_;
};

// A file's bytes (a record field set with MsiRecordSetStream, or an archive's binary field), or
// those of a file and the start of another one after it (a cabinet whose data blocks lie
// apart). The files are opened when the field is set and kept open, so deleting them or putting
// others in their place afterwards changes nothing, as on Windows.
class FileStreamSource : public StreamSource {
 public:
  // Null when the file cannot be opened or is not a regular file.
  [[nodiscard]] static std::shared_ptr<const FileStreamSource> Open(const std::string& path);
  // The file at `path`, then the first `rest_size` bytes of the open file `rest` (a descriptor
  // the caller keeps). Null when either cannot be read, or `rest` is shorter.
  [[nodiscard]] static std::shared_ptr<const FileStreamSource> Join(const std::string& path,
                                                                    int rest,
                                                                    std::uint64_t rest_size);

  std::uint64_t size() const override;
  [[nodiscard]] std::optional<std::size_t> Read(std::uint64_t offset,
                                                std::span<std::byte> out) const override;

  // Second descriptors of the open files, for the storage to copy from at commit; nullopt when
  // a file was written to since it was opened, so that no other bytes than the field's are
  // stored.
  std::optional<std::vector<StagedFilePart>> Duplicate() const;

  explicit FileStreamSource(std::vector<StagedFilePart> parts) : parts_(std::move(parts)) {}

 private:
  std::vector<StagedFilePart> parts_;
};

// The bytes of `source` copied in pieces into a new unnamed temporary file (in
// platform::TempFolder()), so a stream can be staged without holding it in memory. Invalid when
// the copy failed.
platform::UniqueFd CopyToTemporaryFile(const StreamSource& source);

// A stream of a database's storage, shared with the database so it outlives its handle.
class StoredStreamSource : public StreamSource {
 public:
  StoredStreamSource(std::shared_ptr<const CompoundFile> storage, std::u16string name,
                     std::uint64_t size)
      : storage_(std::move(storage)), name_(std::move(name)), size_(size) {}

  std::uint64_t size() const override { return size_; }
  [[nodiscard]] std::optional<std::size_t> Read(std::uint64_t offset,
                                                std::span<std::byte> out) const override;
  const std::u16string* stored_name() const override { return &name_; }

 private:
  std::shared_ptr<const CompoundFile> storage_;
  std::u16string name_;
  std::uint64_t size_;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_STREAM_SOURCE_H_

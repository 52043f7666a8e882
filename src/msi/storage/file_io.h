#ifndef KITBINDER_MSI_STORAGE_FILE_IO_H_
#define KITBINDER_MSI_STORAGE_FILE_IO_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "msi/storage/compound_file.h"

namespace kb::msi {

// Reads exactly out.size() bytes at `offset`. kCorrupt when the file ends first (a compound
// file that promises data it does not hold), kIo when the system refuses.
StorageError ReadAt(int fd, std::uint64_t offset, std::span<std::byte> out);

// Writes all of `data` at `offset`, extending the file if needed. kIo on failure.
StorageError WriteAt(int fd, std::uint64_t offset, std::span<const std::byte> data);

// Sets *size to the size of the open file. kIo when it cannot be asked.
StorageError FileSize(int fd, std::uint64_t* size);

// The open file's size and modification time; nullopt when they cannot be asked.
[[nodiscard]] std::optional<FileStamp> StampOf(int fd);

}  // namespace kb::msi

#endif  // KITBINDER_MSI_STORAGE_FILE_IO_H_

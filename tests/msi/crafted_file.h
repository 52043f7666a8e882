#ifndef KITBINDER_TESTS_MSI_CRAFTED_FILE_H_
#define KITBINDER_TESTS_MSI_CRAFTED_FILE_H_

#include <cstddef>
#include <string>
#include <vector>

#include "msi/storage/compound_file.h"

namespace kb::msi::test {

struct CraftedStream {
  std::u16string name;
  std::vector<std::byte> data;
};

struct CraftedStorage {
  std::u16string name;
  std::vector<CraftedStream> streams;
};

// A small, plain compound file written straight from the format description, independent of
// the program's writer: 512-byte (shift 9, version 3) or 4,096-byte (shift 12, version 4)
// sectors, streams under 4,096 bytes in the mini stream, siblings linked as one sorted list.
// Without DIFAT, so it holds up to a few megabytes.
std::vector<std::byte> CraftCompoundFile(int sector_shift, const Clsid& clsid,
                                         const std::vector<CraftedStream>& streams,
                                         const std::vector<CraftedStorage>& storages);

}  // namespace kb::msi::test

#endif  // KITBINDER_TESTS_MSI_CRAFTED_FILE_H_

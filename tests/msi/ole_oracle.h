#ifndef KITBINDER_TESTS_MSI_OLE_ORACLE_H_
#define KITBINDER_TESTS_MSI_OLE_ORACLE_H_

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "msi/storage/compound_file.h"

#include "test_support/run_command.h"

namespace kb::msi::test {

// What a reader sees in a compound file: every stream (by its path from the root, parts
// joined with '/') with its size and CRC-32, every storage, and the root's CLSID.
struct Listing {
  struct Stream {
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    bool operator==(const Stream&) const = default;
  };
  std::map<std::u16string, Stream> streams;
  std::vector<std::u16string> storages;  // sorted
  std::string clsid;                     // 32 lower-case hex digits of the stored bytes
  // What is wrong with the root's sibling tree as a red-black tree ordered as the format
  // requires (olefile's reading of the links, Python's upper-casing); empty when nothing.
  // Not part of the comparison: peers need not balance their trees.
  std::string root_tree_problems;
  bool operator==(const Listing& other) const {
    return streams == other.streams && storages == other.storages && clsid == other.clsid;
  }
};

// For test failure messages.
void PrintTo(const Listing& listing, std::ostream* out);

// Lists `path` with python3-olefile, which is told to refuse any defect it notices. `error`
// receives olefile's complaint, empty when it read the file without one.
Listing ListWithOlefile(const std::string& path, std::string* error);

// Lists the root level of `path` through Windows' own structured storage under Wine, by a
// small program built with mingw-w64 in `work_dir` (which also takes the Wine prefix). Every
// stream is opened by name, so a directory tree that Windows cannot search shows as an error.
Listing ListWithWine(const std::string& path, const std::string& work_dir, std::string* error);

// Lists the root level of `file` the same way (sub-storages by name only).
Listing ListWithUs(CompoundFile& file);

// Builds `source` (a C file under tests/msi) with mingw-w64 into `work_dir`, compiled and
// linked with `flags` ("-municode -lole32"), and runs it under Wine in a fresh prefix inside
// `work_dir` with `arguments` (already quoted for the shell). Returns its standard output; `error`
// receives what went wrong, empty when the program built and exited with 0.
std::string RunWindowsProgram(const std::string& source, const std::string& flags,
                              const std::string& arguments, const std::string& work_dir,
                              std::string* error);

// The path as a Windows program under Wine sees it (drive Z:, backslashes).
std::string WindowsPath(const std::string& path);

using kb::test::RunCommand;

std::uint32_t Crc(const std::vector<std::byte>& data);

}  // namespace kb::msi::test

#endif  // KITBINDER_TESTS_MSI_OLE_ORACLE_H_

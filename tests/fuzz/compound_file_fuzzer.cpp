// libFuzzer target: opens arbitrary bytes as a compound file, lists and reads every stream,
// and, when the file opened, commits a change to it and checks that the change reads back.
// Built by run_fuzzer.sh with clang; not part of the regular build.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "msi/storage/compound_file.h"
#include "platform/unique_fd.h"

namespace {

using kb::msi::CompoundFile;
using kb::msi::StorageError;

constexpr std::size_t kReadLimit = 1 << 22;

void ReadEverything(CompoundFile& file) {
  StorageError error;
  for (const auto& name : file.StreamNames()) {
    const auto size = file.StreamSize(name);
    const auto whole = file.ReadWholeStream(name, kReadLimit, &error);
    if (whole && size && whole->size() != *size) __builtin_trap();
    std::vector<std::byte> piece(100);
    (void)file.ReadStream(name, size ? *size / 2 : 0, piece, &error);  // must only not crash
  }
  file.StorageNames();
}

void CommitAndCheck(const std::string& path) {
  StorageError error;
  auto file = CompoundFile::Open(path, CompoundFile::Mode::kReadWrite, &error);
  if (!file) __builtin_trap();  // it opened read-only a moment ago
  const std::vector<std::byte> small(100, std::byte{7});
  const std::vector<std::byte> large(5000, std::byte{9});
  // A refused write shows in the read-back below.
  (void)file->WriteStream(u"fuzz-small", small);
  (void)file->WriteStream(u"fuzz-large", large);
  const auto names = file->StreamNames();
  if (!names.empty() && names[0] != u"fuzz-small" && names[0] != u"fuzz-large") {
    (void)file->RemoveStream(names[0]);  // exercises freeing sectors; nothing reads it back
  }
  if (file->Commit() != StorageError::kNone) return;
  file.reset();
  auto reopened = CompoundFile::Open(path, CompoundFile::Mode::kReadOnly, &error);
  if (!reopened) __builtin_trap();
  if (reopened->ReadWholeStream(u"fuzz-small", kReadLimit, &error) != small) __builtin_trap();
  if (reopened->ReadWholeStream(u"fuzz-large", kReadLimit, &error) != large) __builtin_trap();
  ReadEverything(*reopened);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kb::platform::UniqueFd fd(::memfd_create("fuzz", MFD_CLOEXEC));
  if (!fd.valid() || ::write(fd.get(), data, size) != static_cast<ssize_t>(size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd.get());
  StorageError error;
  auto file = CompoundFile::Open(path, CompoundFile::Mode::kReadOnly, &error);
  if (!file) return 0;
  ReadEverything(*file);
  file.reset();
  CommitAndCheck(path);
  return 0;
}

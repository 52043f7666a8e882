// libFuzzer target: reads arbitrary bytes as a project file (.kbr), saves what was read and
// reads the saved file again. What a project file can hold must survive the round: the project
// read back equals the one saved (icons included). A text longer than the format's 2047-byte
// limit can only come from a Windows-1252 value that grew when it was made UTF-8; it is cut on
// the next read, so for such projects only the second round must be exact.
// Built by run_fuzzer.sh with clang (libFuzzer); fuzz_replay runs it on the seeds in the tests.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_name_from_path.h"
#include "platform/scratch_folder.h"
#include "platform/unique_fd.h"
#include "project/profile_reader.h"
#include "project/project_settings.h"
#include "project/text_properties.h"

namespace {

using kb::CProjectSettings;

bool SameIcons(const CProjectSettings& a, const CProjectSettings& b) {
  return std::ranges::equal(a.icons, b.icons, [](const auto& x, const auto& y) {
    return x.path == y.path && x.name == y.name;
  });
}

bool FitsTheFormat(const CProjectSettings& project) {
  const auto fits = [](const std::string& text) {
    return text.size() <= kb::ProfileReader::kMaxValueBytes;
  };
  for (const kb::TextProperty& property : kb::kTextProperties) {
    if (!fits(project.*property.member)) return false;
  }
  const auto entry_fits = [&](const kb::ProjectFileEntry& e) {
    return fits(e.path) && fits(e.shortcutname) && fits(e.shortcuticon) && fits(e.id) &&
           fits(e.componentid) && fits(e.componentguid) && fits(e.shortcuttarget) &&
           fits(e.extensions) && fits(e.extensiondescription);
  };
  return fits(project.productcodeversion) && fits(project.signcertificate) &&
         fits(project.timestampurl) && fits(project.compression) &&
         std::ranges::all_of(project.files, entry_fits) &&
         std::ranges::all_of(project.icons, [&](const auto& icon) { return fits(icon.path); });
}

// What the reader promises whatever the file held.
void CheckInvariants(const CProjectSettings& project) {
  for (const auto& icon : project.icons) {
    if (icon.path.empty() || icon.name != kb::platform::FileNameFromPath(icon.path))
      __builtin_trap();
  }
  for (const auto& entry : project.files) {
    if (entry.path.empty()) __builtin_trap();
  }
}

// Saves `project` to `path` and reads it back.
CProjectSettings SaveAndLoad(CProjectSettings project, const std::string& path) {
  if (!project.Save(path)) __builtin_trap();
  CProjectSettings read;
  read.Load(path);
  CheckInvariants(read);
  return read;
}

bool Same(const CProjectSettings& a, const CProjectSettings& b) {
  return a.IsEqual(b) && SameIcons(a, b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const kb::platform::ScratchFolder folder;
  if (folder.path().empty()) __builtin_trap();
  const std::string saved = (folder.path() / "saved.kbr").string();

  const kb::platform::UniqueFd fd(::memfd_create("fuzz", MFD_CLOEXEC));
  if (!fd.valid() || ::write(fd.get(), data, size) != static_cast<ssize_t>(size)) return 0;
  CProjectSettings first;
  first.Load("/proc/self/fd/" + std::to_string(fd.get()));
  CheckInvariants(first);

  const CProjectSettings second = SaveAndLoad(first, saved);
  if (FitsTheFormat(first) && !Same(first, second)) __builtin_trap();
  const CProjectSettings third = SaveAndLoad(second, saved);
  if (!Same(second, third)) __builtin_trap();
  return 0;
}

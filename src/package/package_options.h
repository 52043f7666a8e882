#ifndef KITBINDER_PACKAGE_PACKAGE_OPTIONS_H_
#define KITBINDER_PACKAGE_PACKAGE_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>

#include "package/package_signing.h"

namespace kb {

// The largest cabinet a package build makes, but for a file that alone needs more: the most a
// reader that counts a cabinet's size in a signed 32-bit number takes.
inline constexpr std::uint32_t kMaxPackageCabinetSize = 2147483647;

// Where a build puts its package, whether it signs it, and whether it is to stop early.
struct PackageOptions {
  // The package's path; empty for TITLE.msi in the project's folder.
  std::string output_path;
  // The signature to put on the package before it replaces the last one; nullopt for none.
  std::optional<SigningRequest> signing;
  // Once a stop is requested, the build ends at the next block or file it packs, or at its next
  // step after the packing, leaving the folder as it was. A default token never stops.
  std::stop_token stop;
  // Bytes a cabinet of the package may occupy before the files go on in the next. Tests set it
  // small to make several cabinets of a few files.
  std::uint32_t max_cabinet_size = kMaxPackageCabinetSize;
};

}  // namespace kb

#endif  // KITBINDER_PACKAGE_PACKAGE_OPTIONS_H_

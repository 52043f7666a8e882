#ifndef KITBINDER_PACKAGE_PACKAGE_OPTIONS_H_
#define KITBINDER_PACKAGE_PACKAGE_OPTIONS_H_

#include <optional>
#include <stop_token>
#include <string>

#include "package/package_signing.h"

namespace kb {

// Where a build puts its package, whether it signs it, and whether it is to stop early.
struct PackageOptions {
  // The package's path; empty for TITLE.msi in the project's folder.
  std::string output_path;
  // The signature to put on the package before it replaces the last one; nullopt for none.
  std::optional<SigningRequest> signing;
  // Once a stop is requested, the build ends at the next block or file it packs, or at its next
  // step after the packing, leaving the folder as it was. A default token never stops.
  std::stop_token stop;
};

}  // namespace kb

#endif  // KITBINDER_PACKAGE_PACKAGE_OPTIONS_H_

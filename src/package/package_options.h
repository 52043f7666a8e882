#ifndef KITBINDER_PACKAGE_PACKAGE_OPTIONS_H_
#define KITBINDER_PACKAGE_PACKAGE_OPTIONS_H_

#include <optional>
#include <string>

#include "package/package_signing.h"

namespace kb {

// Where a build puts its package and whether it signs it.
struct PackageOptions {
  // The package's path; empty for TITLE.msi in the project's folder.
  std::string output_path;
  // The signature to put on the package before it replaces the last one; nullopt for none.
  std::optional<SigningRequest> signing;
};

}  // namespace kb

#endif  // KITBINDER_PACKAGE_PACKAGE_OPTIONS_H_

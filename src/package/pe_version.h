#ifndef KITBINDER_PACKAGE_PE_VERSION_H_
#define KITBINDER_PACKAGE_PE_VERSION_H_

#include <optional>
#include <string>

namespace kb {

// A program's or library's version as its version resource states it, in the forms the File
// table keeps.
struct PeVersion {
  std::string version;   // "major.minor.build.revision" of the fixed file information
  std::string language;  // the first language the resource is translated to, in decimal
};

// Reads the version resource of the Windows program or library (PE file) at `path`. Returns
// nullopt for a file that is no PE file, has no version resource, or is damaged; reads only
// the headers and the resource it needs, within the file's bounds.
std::optional<PeVersion> ReadPeVersion(const std::string& path);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_PE_VERSION_H_

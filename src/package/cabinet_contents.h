#ifndef KITBINDER_PACKAGE_CABINET_CONTENTS_H_
#define KITBINDER_PACKAGE_CABINET_CONTENTS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kb {

// One file record of a cabinet, as an installer reads it.
struct CabinetFileRecord {
  std::string name;        // the file's name in the cabinet
  std::uint32_t size = 0;  // the whole file's size
  bool continued = false;  // the file began in the cabinet before, where it has its own record
};

// The file records of the cabinet at `path`, in their order; only they are read, never the
// data. nullopt when `path` holds no complete cabinet whose file records lie within it.
std::optional<std::vector<CabinetFileRecord>> CabinetFileRecords(const std::string& path);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_CABINET_CONTENTS_H_

#ifndef KITBINDER_PACKAGE_CABINET_CONTENTS_H_
#define KITBINDER_PACKAGE_CABINET_CONTENTS_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace kb {

// The size of every file the cabinet at `path` holds, by the file's name in it, as its file
// records state them: what an installer extracts. nullopt when `path` holds no complete cabinet
// whose file records lie within it.
std::optional<std::map<std::string, std::uint32_t>> CabinetFileSizes(const std::string& path);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_CABINET_CONTENTS_H_

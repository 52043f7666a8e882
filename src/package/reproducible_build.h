#ifndef KITBINDER_PACKAGE_REPRODUCIBLE_BUILD_H_
#define KITBINDER_PACKAGE_REPRODUCIBLE_BUILD_H_

#include <cstdint>
#include <optional>
#include <string>

#include "project/project_settings.h"

namespace kb {

// The build time SOURCE_DATE_EPOCH gives (the reproducible-builds.org convention: seconds since
// 1970 UTC, in decimal), or nullopt when it is unset or empty. A value that is no such number
// is reported in *problem, as a line for the user (and nullopt returned).
std::optional<std::int64_t> SourceDateEpoch(std::string* problem);

// What a reproducible build of `settings` at `epoch` derives its identifiers from: every value
// of the project that reaches the package, and the time.
std::string ReproducibleSeed(const CProjectSettings& settings, std::int64_t epoch);

// The SHA-1 digest of the file at `path` followed by the first `rest_size` bytes of the open
// file `rest` (a cabinet's file and its data), in hexadecimal; empty when they cannot be read.
std::string JoinedDigestText(const std::string& path, int rest, std::uint64_t rest_size);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_REPRODUCIBLE_BUILD_H_

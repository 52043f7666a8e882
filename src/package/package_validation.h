#ifndef KITBINDER_PACKAGE_PACKAGE_VALIDATION_H_
#define KITBINDER_PACKAGE_PACKAGE_VALIDATION_H_

#include <optional>
#include <string>
#include <vector>

namespace kb {

// Runs the validator of the documented installer rules over the built package at `path`.
// Appends one line per warning to *warnings. Returns the errors as text for the user (what is
// wrong on the first line, one line per finding after it), or nullopt when there are none.
std::optional<std::string> CheckBuiltPackage(const std::string& path,
                                             std::vector<std::string>* warnings);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_PACKAGE_VALIDATION_H_

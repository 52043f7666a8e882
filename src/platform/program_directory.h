#ifndef KITBINDER_PLATFORM_PROGRAM_DIRECTORY_H_
#define KITBINDER_PLATFORM_PROGRAM_DIRECTORY_H_

#include <string>
#include <string_view>

namespace kb::platform {

// The folder of the running executable, without a trailing separator; empty when the
// operating system does not tell (no /proc).
std::string ProgramDirectory();

// The full path of the program's data file `name` (a template, the help page): beside the
// program, or else in ../share/kitbinder from the program's folder (an installed layout).
// When neither exists, the path beside the program, so that its user reports that file missing.
std::string ProgramDataFile(std::string_view name);

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_PROGRAM_DIRECTORY_H_

#ifndef KITBINDER_PLATFORM_PROGRAM_DIRECTORY_H_
#define KITBINDER_PLATFORM_PROGRAM_DIRECTORY_H_

#include <string>

namespace kb::platform {

// The folder of the running executable, without a trailing separator; empty when the
// operating system does not tell (no /proc).
std::string ProgramDirectory();

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_PROGRAM_DIRECTORY_H_

#ifndef KITBINDER_TESTS_TEST_SUPPORT_TEMP_DIR_H_
#define KITBINDER_TESTS_TEST_SUPPORT_TEMP_DIR_H_

#include "platform/scratch_folder.h"

namespace kb::test {

// A fresh folder for one test, removed with everything in it at the test's end.
using TempDir = platform::ScratchFolder;

}  // namespace kb::test

#endif  // KITBINDER_TESTS_TEST_SUPPORT_TEMP_DIR_H_

#ifndef KITBINDER_TESTS_MSI_FAILING_SYSCALLS_H_
#define KITBINDER_TESTS_MSI_FAILING_SYSCALLS_H_

namespace kb::msi::test {

// The file system calls a commit makes to change a file. A test program linked with
// failing_syscalls.cpp defines pwrite, fdatasync and ftruncate itself, in front of the C
// library's, so that one of them can be made to fail as a full or failing disk would.
enum class Syscall { kWrite, kSync, kTruncate };

// From now on, the call of kind `call` numbered `ordinal` (0 for the next one) fails with EIO
// (ENOSPC for a write) without doing anything; every other call goes through.
void FailNth(Syscall call, int ordinal);

// Lets every call through again. Returns how many calls of the kind given to FailNth were made
// since, the failed one included.
int StopFailing();

}  // namespace kb::msi::test

#endif  // KITBINDER_TESTS_MSI_FAILING_SYSCALLS_H_

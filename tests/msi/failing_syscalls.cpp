#include "failing_syscalls.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace kb::msi::test {
namespace {

struct Injection {
  bool armed = false;
  Syscall call = Syscall::kWrite;
  int ordinal = 0;
  int seen = 0;
};

Injection injection;

bool ShouldFail(Syscall call, int error) {
  if (!injection.armed || call != injection.call) return false;
  if (injection.seen++ != injection.ordinal) return false;
  errno = error;
  return true;
}

}  // namespace

void FailNth(Syscall call, int ordinal) {
  injection = Injection{true, call, ordinal, 0};
}

int StopFailing() {
  injection.armed = false;
  return injection.seen;
}

}  // namespace kb::msi::test

// The real calls go straight to the kernel, past the C library and any sanitizer's wrappers.
using kb::msi::test::ShouldFail;
using kb::msi::test::Syscall;

extern "C" {

ssize_t pwrite(int fd, const void* buffer, size_t size, off_t offset) {
  if (ShouldFail(Syscall::kWrite, ENOSPC)) return -1;
  return syscall(SYS_pwrite64, fd, buffer, size, offset);
}

ssize_t pwrite64(int fd, const void* buffer, size_t size, off64_t offset) {
  return pwrite(fd, buffer, size, offset);
}

int fdatasync(int fd) {
  if (ShouldFail(Syscall::kSync, EIO)) return -1;
  return static_cast<int>(syscall(SYS_fdatasync, fd));
}

int ftruncate(int fd, off_t length) noexcept {
  if (ShouldFail(Syscall::kTruncate, EIO)) return -1;
  return static_cast<int>(syscall(SYS_ftruncate, fd, length));
}

int ftruncate64(int fd, off64_t length) noexcept {
  return ftruncate(fd, length);
}

}  // extern "C"

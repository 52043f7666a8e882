#include "platform/run_program.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/unique_fd.h"

extern char** environ;

namespace kb::platform {
namespace {

// The spawn's file actions, destroyed with this object.
class FileActions {
 public:
  FileActions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
  ~FileActions() {
    if (ok_) ::posix_spawn_file_actions_destroy(&actions_);
  }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;

  // The child's standard input from `input_end` and its output and error into `output_end`.
  bool Redirect(int input_end, int output_end) {
    return ok_ && ::posix_spawn_file_actions_adddup2(&actions_, input_end, 0) == 0 &&
           ::posix_spawn_file_actions_adddup2(&actions_, output_end, 1) == 0 &&
           ::posix_spawn_file_actions_adddup2(&actions_, output_end, 2) == 0;
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
  bool ok_ = false;
};

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count > 0) {
      text.append(buffer, static_cast<std::size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      return text;
    }
  }
}

// Writes all of `text` to `fd`; false when the reader went away first.
bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t count = ::write(fd, text.data(), text.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

// Writes `input` to the child. A child that exits without reading it must not end this
// process: SIGPIPE is blocked in this thread meanwhile, and one the write raised is taken
// before it is unblocked. Other threads keep their signal handling.
void WriteInput(int fd, std::string_view input) {
  sigset_t broken_pipe;
  sigset_t previous;
  ::sigemptyset(&broken_pipe);
  ::sigaddset(&broken_pipe, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &broken_pipe, &previous);
  if (!WriteAll(fd, input)) {
    const timespec no_wait{};
    while (::sigtimedwait(&broken_pipe, nullptr, &no_wait) == SIGPIPE) {
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace

std::optional<ProgramResult> RunProgram(const std::vector<std::string>& arguments,
                                        std::string_view input) {
  int output_ends[2];
  int input_ends[2];
  if (::pipe2(output_ends, O_CLOEXEC) != 0) return std::nullopt;
  UniqueFd read_end(output_ends[0]);
  UniqueFd write_end(output_ends[1]);
  if (::pipe2(input_ends, O_CLOEXEC) != 0) return std::nullopt;
  UniqueFd input_read(input_ends[0]);
  UniqueFd input_write(input_ends[1]);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  FileActions actions;
  if (!actions.Redirect(input_read.get(), write_end.get())) return std::nullopt;
  pid_t child = 0;
  const int spawned = ::posix_spawnp(&child, argv[0], actions.get(), nullptr, argv.data(), environ);
  // The child holds its own copies: the read below ends when it exits.
  write_end.Reset();
  input_read.Reset();
  if (spawned != 0) {
    errno = spawned;
    return std::nullopt;
  }
  WriteInput(input_write.get(), input);
  input_write.Reset();
  ProgramResult result;
  result.output = ReadAll(read_end.get());
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace kb::platform

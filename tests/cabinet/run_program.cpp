#include "cabinet/run_program.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cabinet/cabinet_oracles.h"
#include "test_support/temp_dir.h"

namespace kb::test {
namespace {

[[noreturn]] void ExecChild(const std::vector<std::string>& args, const ProgramOptions& options,
                            const std::filesystem::path& out, const std::filesystem::path& err) {
  const int in_fd = ::open("/dev/null", O_RDONLY);
  const int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (in_fd < 0 || out_fd < 0 || err_fd < 0 || ::dup2(in_fd, 0) < 0 || ::dup2(out_fd, 1) < 0 ||
      ::dup2(err_fd, 2) < 0) {
    ::_exit(127);
  }
  if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0) ::_exit(127);
  for (const auto& [name, value] : options.env) ::setenv(name.c_str(), value.c_str(), 1);
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  ::execvp(argv[0], argv.data());
  ::_exit(127);
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& args, const ProgramOptions& options) {
  TempDir capture;
  const std::filesystem::path out = capture.path() / "out";
  const std::filesystem::path err = capture.path() / "err";
  ProgramResult result;
  const pid_t pid = ::fork();
  if (pid < 0) return result;
  if (pid == 0) ExecChild(args, options, out, err);
  int status = 0;
  struct rusage usage {};
  if (::wait4(pid, &status, 0, &usage) != pid) return result;
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  result.output = ReadBytes(out);
  result.errors = ReadBytes(err);
  result.peak_rss_kb = usage.ru_maxrss;
  return result;
}

std::string CliPath() {
  return std::string(KITBINDER_BIN_DIR) + "/kitbinder-cli";
}

}  // namespace kb::test

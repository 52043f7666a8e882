// A program ended by SIGTERM while its threads mark and unmark temporaries removes what is
// marked and nothing else, however the signal falls between the threads' steps.
#include "platform/removal_on_signal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "test_support/temp_dir.h"
#include "test_support/text_file.h"

namespace kb::platform {
namespace {

namespace fs = std::filesystem;

// Marks `a` and `b` in turn for ever, each in the slot the other just left.
[[noreturn]] void Churn(const std::string& a, const std::string& b) {
  for (;;) {
    { RemovalOnSignal first(a); }
    { RemovalOnSignal second(b); }
  }
}

TEST(RemovalOnSignalTest, SignalRemovesTheMarkedFilesAndNoOther) {
  kb::test::TempDir dir;
  // Two long names: a path read while the other is written into its slot would name a file
  // made of the start of one and the end of the other. Every such file exists.
  const std::size_t length = 200;
  const fs::path a = dir.path() / std::string(length, 'a');
  const fs::path b = dir.path() / std::string(length, 'b');
  std::vector<fs::path> mixed;
  for (std::size_t cut = 1; cut < length; ++cut) {
    mixed.push_back(dir.path() / (std::string(cut, 'a') + std::string(length - cut, 'b')));
    mixed.push_back(dir.path() / (std::string(cut, 'b') + std::string(length - cut, 'a')));
  }
  for (const fs::path& path : mixed) kb::test::WriteText(path, "");
  const fs::path held = dir.path() / "held";
  for (int round = 0; round < 40; ++round) {
    for (const fs::path& path : {a, b, held}) kb::test::WriteText(path, "");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      RemoveMarkedFilesOnSignals();
      RemovalOnSignal kept(held.string());
      std::thread churn(Churn, a.string(), b.string());
      churn.detach();
      (void)!::write(ready[1], "r", 1);
      for (;;) ::pause();
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    std::this_thread::sleep_for(std::chrono::microseconds(100 * (round % 7)));
    ASSERT_EQ(::kill(child, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_FALSE(fs::exists(held)) << round;
    for (const fs::path& path : mixed) ASSERT_TRUE(fs::exists(path)) << round << path;
  }
}

}  // namespace
}  // namespace kb::platform

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <thread>

#include "msi/compound_file.h"
#include "peer_databases.h"
#include "test_support/temp_dir.h"

namespace kb::msi {
namespace {

using State = std::map<std::u16string, std::vector<std::byte>>;

// The contents of the file after commit number `generation`: a generation marker, a small
// stream rewritten every time, a table-sized one that crosses the mini stream cutoff, a
// regular stream, a large one changed now and then, and streams that come and go.
State StateFor(std::uint32_t generation) {
  State state;
  std::vector<std::byte> marker(4);
  std::memcpy(marker.data(), &generation, 4);
  state[u"generation"] = marker;
  state[u"Property"] = test::TestBytes(100 + generation % 50, generation);
  state[u"Table"] = test::TestBytes(generation % 2 ? 5000 : 300, generation + 1);
  state[u"Cabinet"] = test::TestBytes(20000 + (generation % 7) * 3000, generation + 2);
  state[u"Large"] = test::TestBytes(200000, generation / 5);
  for (std::uint32_t k = 0; k < generation % 6; ++k) {
    state[u"Extra" + std::u16string(1, u'A' + k)] = test::TestBytes(64 * k, k);
  }
  return state;
}

// Stages the changes from `from` to `to`.
bool Stage(CompoundFile& file, const State& from, const State& to) {
  for (const auto& [name, data] : to) {
    auto old = from.find(name);
    if ((old == from.end() || old->second != data) &&
        file.WriteStream(name, data) != StorageError::kNone) {
      return false;
    }
  }
  for (const auto& [name, data] : from) {
    if (!to.contains(name) && file.RemoveStream(name) != StorageError::kNone) return false;
  }
  return true;
}

std::optional<std::uint32_t> Generation(CompoundFile& file) {
  StorageError error;
  const auto marker = file.ReadWholeStream(u"generation", 4, &error);
  if (!marker || marker->size() != 4) return std::nullopt;
  std::uint32_t g;
  std::memcpy(&g, marker->data(), 4);
  return g;
}

// The child: commits one generation after another, reporting each on `report` once its
// Commit has returned, until it is killed.
[[noreturn]] void CommitForever(const std::string& path, int report) {
  StorageError error;
  auto file = CompoundFile::Open(path, CompoundFile::Mode::kReadWrite, &error);
  if (!file) _exit(2);
  const auto start = Generation(*file);
  if (!start) _exit(3);
  for (std::uint32_t g = *start + 1;; ++g) {
    if (!Stage(*file, StateFor(g - 1), StateFor(g)) || file->Commit() != StorageError::kNone) {
      _exit(4);
    }
    if (::write(report, &g, 4) != 4) _exit(5);
  }
}

int Trials() {
  const char* env = std::getenv("KITBINDER_KILL_TRIALS");
  return env ? std::atoi(env) : 30;
}

// Kills a committing process at random moments; every time, the file must open and hold
// exactly the last generation the child saw committed or the one it was committing.
TEST(CommitAtomicityTest, KilledCommitLeavesTheOldOrTheNewState) {
  kb::test::TempDir dir;
  const std::string path = (dir.path() / "killed.msi").string();
  {
    StorageError error;
    auto file = CompoundFile::Create(path, kInstallerDatabaseClsid, &error);
    ASSERT_TRUE(Stage(*file, {}, StateFor(0)));
    ASSERT_EQ(file->Commit(), StorageError::kNone);
  }
  std::mt19937 rng(12345);
  std::uint32_t confirmed = 0;
  std::uintmax_t largest = 0;
  int landed_between = 0;
  for (int trial = 0; trial < Trials(); ++trial) {
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipe_fds[0]);
      CommitForever(path, pipe_fds[1]);
    }
    ::close(pipe_fds[1]);
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 150000));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended on its own, status " << status;
    std::uint32_t g;
    while (::read(pipe_fds[0], &g, 4) == 4) confirmed = g;
    ::close(pipe_fds[0]);

    StorageError error;
    auto file = CompoundFile::Open(path, CompoundFile::Mode::kReadOnly, &error);
    ASSERT_TRUE(file) << "trial " << trial << ": " << static_cast<int>(error);
    const auto found = Generation(*file);
    ASSERT_TRUE(found);
    ASSERT_TRUE(*found == confirmed || *found == confirmed + 1)
        << "found " << *found << ", confirmed " << confirmed;
    landed_between += *found == confirmed + 1;
    const State expected = StateFor(*found);
    State seen;
    for (const auto& name : file->StreamNames()) {
      seen[name] = *file->ReadWholeStream(name, 1 << 20, &error);
    }
    ASSERT_EQ(seen, expected) << "generation " << *found;
    confirmed = *found;
    largest = std::max(largest, std::filesystem::file_size(path));
  }
  std::cout << Trials() << " kills; " << landed_between
            << " after the header write but before Commit returned; last generation " << confirmed
            << "; largest file " << largest << " bytes\n";
  EXPECT_LT(largest, 2u << 20);  // live data is about 450 KB
}

}  // namespace
}  // namespace kb::msi

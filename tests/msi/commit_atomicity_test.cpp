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

#include "failing_syscalls.h"
#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "msi/storage/compound_file.h"
#include "peer_databases.h"
#include "sql_helpers.h"
#include "test_support/temp_dir.h"
#include "test_support/text_file.h"

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

// Every stream of `file` with its bytes.
State StoredState(const CompoundFile& file) {
  State state;
  StorageError error;
  for (const auto& name : file.StreamNames()) {
    state[name] = file.ReadWholeStream(name, 1 << 20, &error).value_or(std::vector<std::byte>());
  }
  return state;
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
    ASSERT_EQ(StoredState(*file), StateFor(*found)) << "generation " << *found;
    confirmed = *found;
    largest = std::max(largest, std::filesystem::file_size(path));
  }
  std::cout << Trials() << " kills; " << landed_between
            << " after the header write but before Commit returned; last generation " << confirmed
            << "; largest file " << largest << " bytes\n";
  EXPECT_LT(largest, 2u << 20);  // live data is about 450 KB
}

// The generation the file at `path` holds, after checking that every stream is as that
// generation wrote it; nullopt (with a test failure) when it cannot be read.
std::optional<std::uint32_t> CheckedGeneration(const std::string& path, const std::string& trial) {
  StorageError error;
  auto file = CompoundFile::Open(path, CompoundFile::Mode::kReadOnly, &error);
  EXPECT_TRUE(file) << trial << ": " << static_cast<int>(error);
  const auto generation = file ? Generation(*file) : std::nullopt;
  EXPECT_TRUE(generation) << trial;
  if (!generation) return std::nullopt;
  EXPECT_EQ(StoredState(*file), StateFor(*generation)) << trial;
  return generation;
}

// Makes each write, sync and truncate of one commit fail in turn, as a full or failing disk
// would, and looks at the file as a crash right then would leave it. A failure before the
// header write leaves the old state, which the object still knows and can commit over; from
// the header write on the disk may hold either state, so the object must refuse all further
// work rather than trim the file to the old layout.
TEST(CommitAtomicityTest, FailedCallsLeaveTheOldOrTheNewState) {
  using test::Syscall;
  kb::test::TempDir dir;
  const std::string path = (dir.path() / "faulty.msi").string();
  const std::string left = (dir.path() / "left.msi").string();
  int gave_up = 0;
  for (const Syscall call : {Syscall::kWrite, Syscall::kSync, Syscall::kTruncate}) {
    for (int ordinal = 0; ordinal < 10000; ++ordinal) {
      const std::string trial = "call kind " + std::to_string(static_cast<int>(call)) +
                                ", number " + std::to_string(ordinal);
      StorageError error;
      {
        auto file = CompoundFile::Create(path, kInstallerDatabaseClsid, &error);
        ASSERT_TRUE(Stage(*file, {}, StateFor(4)));
        ASSERT_EQ(file->Commit(), StorageError::kNone);
      }
      auto file = CompoundFile::Open(path, CompoundFile::Mode::kReadWrite, &error);
      ASSERT_TRUE(file && Stage(*file, StateFor(4), StateFor(5)));
      test::FailNth(call, ordinal);
      const StorageError committed = file->Commit();
      const int calls = test::StopFailing();
      std::filesystem::copy_file(path, left, std::filesystem::copy_options::overwrite_existing);
      const auto found = CheckedGeneration(left, trial);
      if (committed == StorageError::kNone) {
        EXPECT_EQ(found, 5u) << trial;
      } else if (file->failed()) {
        ++gave_up;
        EXPECT_TRUE(found == 4u || found == 5u) << trial;
        EXPECT_EQ(file->WriteStream(u"more", {}), StorageError::kIo) << trial;
        EXPECT_EQ(file->Commit(), StorageError::kIo) << trial;
        EXPECT_FALSE(file->ReadWholeStream(u"generation", 4, &error)) << trial;
      } else {
        EXPECT_EQ(found, 4u) << trial;
        EXPECT_EQ(file->Commit(), StorageError::kNone) << trial;
        file.reset();
        EXPECT_EQ(CheckedGeneration(path, trial + ", tried again"), 5u);
      }
      if (calls <= ordinal) break;  // the commit made no more calls of this kind
    }
  }
  EXPECT_GT(gave_up, 0);
}

// The database handle gives up with its storage: every call fails, and reopening the file
// shows the state the disk holds (here the new one: only the sync after the header failed).
TEST(CommitAtomicityTest, DatabaseRefusesWorkAfterItsHeaderSyncFailed) {
  kb::test::TempDir dir;
  const std::string path = (dir.path() / "db.msi").string();
  ScopedHandle db;
  ASSERT_EQ(MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_CREATE, db.Receive()), ERROR_SUCCESS);
  ASSERT_EQ(test::RunSql(db.get(), "CREATE TABLE `T` (`K` SHORT PRIMARY KEY `K`)"), ERROR_SUCCESS);
  ASSERT_EQ(test::RunSql(db.get(), "INSERT INTO `T` (`K`) VALUES (1)"), ERROR_SUCCESS);
  ASSERT_EQ(MsiDatabaseCommit(db.get()), ERROR_SUCCESS);
  ASSERT_EQ(test::RunSql(db.get(), "INSERT INTO `T` (`K`) VALUES (2)"), ERROR_SUCCESS);
  ScopedHandle view;
  ASSERT_EQ(MsiDatabaseOpenViewA(db.get(), "SELECT * FROM `T`", view.Receive()), ERROR_SUCCESS);
  test::FailNth(test::Syscall::kSync,
                1);  // the first sync secures the sectors, the second the header
  EXPECT_EQ(MsiDatabaseCommit(db.get()), ERROR_FUNCTION_FAILED);
  test::StopFailing();
  EXPECT_EQ(MsiDatabaseCommit(db.get()), ERROR_FUNCTION_FAILED);
  EXPECT_EQ(MsiViewExecute(view.get(), 0), ERROR_FUNCTION_FAILED);
  ScopedHandle other;
  EXPECT_EQ(MsiDatabaseOpenViewA(db.get(), "SELECT * FROM `T`", other.Receive()),
            ERROR_FUNCTION_FAILED);
  view.Reset();
  db.Reset();
  ASSERT_EQ(MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, db.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(test::Rows(db.get(), "SELECT `K` FROM `T`"),
            (std::vector<std::vector<std::string>>{{"1"}, {"2"}}));
}

// The whole stream in the first field of the row `sql` selects.
std::string StreamText(MSIHANDLE db, const std::string& sql) {
  ScopedHandle view;
  ScopedHandle row;
  if (MsiDatabaseOpenViewA(db, sql.c_str(), view.Receive()) != ERROR_SUCCESS ||
      MsiViewExecute(view.get(), 0) != ERROR_SUCCESS ||
      MsiViewFetch(view.get(), row.Receive()) != ERROR_SUCCESS) {
    return "(no row)";
  }
  std::string text(64, '\0');
  DWORD size = static_cast<DWORD>(text.size());
  if (MsiRecordReadStream(row.get(), 1, text.data(), &size) != ERROR_SUCCESS) return "(none)";
  text.resize(size);
  return text;
}

// A stream taken from another row is copied to a temporary file for each row it goes to; when
// the disk refuses the second copy, the first row's stream is not changed either.
TEST(CommitAtomicityTest, StreamsOfAStatementAreStagedAllOrNone) {
  kb::test::TempDir dir;
  const std::string path = (dir.path() / "db.msi").string();
  ScopedHandle db;
  ASSERT_EQ(MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_CREATE, db.Receive()), ERROR_SUCCESS);
  ASSERT_EQ(
      test::RunSql(db.get(), "CREATE TABLE `B` (`K` SHORT NOT NULL, `D` OBJECT PRIMARY KEY `K`)"),
      ERROR_SUCCESS);
  for (const auto& [key, bytes] :
       {std::pair("0", "new"), std::pair("1", "old"), std::pair("2", "old")}) {
    const std::string file = (dir.path() / key).string();
    kb::test::WriteText(file, bytes);
    ScopedHandle stream(MsiCreateRecord(1));
    ASSERT_EQ(MsiRecordSetStreamA(stream.get(), 1, file.c_str()), ERROR_SUCCESS);
    ASSERT_EQ(
        test::RunSql(db.get(), std::string("INSERT INTO `B` (`K`, `D`) VALUES (") + key + ", ?)",
                     stream.get()),
        ERROR_SUCCESS);
  }
  ScopedHandle view;
  ScopedHandle row;
  ASSERT_EQ(MsiDatabaseOpenViewA(db.get(), "SELECT `D` FROM `B` WHERE `K` = 0", view.Receive()),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  ASSERT_EQ(MsiViewFetch(view.get(), row.Receive()), ERROR_SUCCESS);
  const std::string update = "UPDATE `B` SET `D` = ? WHERE `K` > 0";
  test::FailNth(test::Syscall::kWrite, 1);
  EXPECT_EQ(test::RunSql(db.get(), update, row.get()), ERROR_FUNCTION_FAILED);
  test::StopFailing();
  for (const char* key : {"1", "2"}) {
    EXPECT_EQ(StreamText(db.get(), std::string("SELECT `D` FROM `B` WHERE `K` = ") + key), "old");
  }
  EXPECT_EQ(test::RunSql(db.get(), update, row.get()), ERROR_SUCCESS);
  EXPECT_EQ(StreamText(db.get(), "SELECT `D` FROM `B` WHERE `K` = 1"), "new");
}

}  // namespace
}  // namespace kb::msi

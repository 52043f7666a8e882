// Storage benchmarks, run by hand (make release; build/release/bin/bench_storage). Each
// scenario runs in a child process so that its peak memory and its bytes written (from
// /proc/self/io, which also counts the programs it runs and waits for) are its own. Files go
// to $KITBINDER_BENCH_DIR, else the system's temporary folder; the 1 GB scenario needs about
// 2 GB free there. The database scenarios start from template-en.msi beside this program.
//
// To add a scenario (say, the same edits through the database layer or through msibuild),
// write a function that does the work and call Measure with it; Report turns the figures into
// counters.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "msi/storage/compound_file.h"
#include "platform/program_directory.h"
#include "platform/unique_fd.h"

namespace {

using kb::msi::CompoundFile;
using kb::msi::StorageError;

struct Figures {
  double seconds = 0;
  std::uint64_t wchar = 0;        // bytes handed to write calls
  std::uint64_t write_bytes = 0;  // bytes sent to the storage device
  std::uint64_t peak_rss_kb = 0;
  bool ok = false;
};

struct IoCounters {
  std::uint64_t wchar = 0;
  std::uint64_t write_bytes = 0;
};

IoCounters ReadIoCounters() {
  IoCounters io;
  std::ifstream in("/proc/self/io");
  std::string key;
  std::uint64_t value;
  while (in >> key >> value) {
    if (key == "wchar:") io.wchar = value;
    if (key == "write_bytes:") io.write_bytes = value;
  }
  return io;
}

// Runs `work` in a child process and returns what it cost.
Figures Measure(const std::function<bool()>& work) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    const IoCounters before = ReadIoCounters();
    const auto start = std::chrono::steady_clock::now();
    Figures f;
    f.ok = work();
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const IoCounters after = ReadIoCounters();
    f.wchar = after.wchar - before.wchar;
    f.write_bytes = after.write_bytes - before.write_bytes;
    rusage self{};
    rusage children{};
    ::getrusage(RUSAGE_SELF, &self);
    ::getrusage(RUSAGE_CHILDREN, &children);
    f.peak_rss_kb = static_cast<std::uint64_t>(std::max(self.ru_maxrss, children.ru_maxrss));
    const bool sent = ::write(fds[1], &f, sizeof f) == sizeof f;
    ::_exit(sent ? 0 : 1);
  }
  ::close(fds[1]);
  Figures f;
  if (::read(fds[0], &f, sizeof f) != sizeof f) f.ok = false;
  ::close(fds[0]);
  ::waitpid(child, nullptr, 0);
  return f;
}

std::filesystem::path BenchDir() {
  const char* dir = std::getenv("KITBINDER_BENCH_DIR");
  std::string pattern =
      (dir ? std::filesystem::path(dir) : std::filesystem::temp_directory_path()) /
      "kbbench.XXXXXX";
  return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

// A file of `size` pseudo-random bytes, written in 1 MB pieces.
void MakeSource(const std::filesystem::path& path, std::uint64_t size) {
  std::ofstream out(path, std::ios::binary);
  std::mt19937_64 rng(42);
  std::vector<std::uint64_t> block((1 << 20) / 8);
  for (std::uint64_t done = 0; done < size; done += block.size() * 8) {
    for (auto& word : block) word = rng();
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(std::min<std::uint64_t>(block.size() * 8, size - done)));
  }
}

// The peer: the same bytes copied into a plain file and synced, the least any writer must do.
bool PlainCopy(const std::filesystem::path& source, const std::filesystem::path& target) {
  kb::platform::UniqueFd in(::open(source.c_str(), O_RDONLY));
  kb::platform::UniqueFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
  std::vector<char> buffer(1 << 20);
  ssize_t n;
  while ((n = ::read(in.get(), buffer.data(), buffer.size())) > 0) {
    if (::write(out.get(), buffer.data(), static_cast<std::size_t>(n)) != n) return false;
  }
  return n == 0 && ::fsync(out.get()) == 0;
}

// A database receives one large stream from a file, then `small_commits` commits that each
// rewrite a property-sized stream.
bool LargeStreamThenSmallCommits(const std::filesystem::path& source,
                                 const std::filesystem::path& db, int small_commits) {
  StorageError error;
  auto file = CompoundFile::Create(db, kb::msi::kInstallerDatabaseClsid, &error);
  if (!file || file->WriteStreamFromFile(u"Instal01.cab", source) != StorageError::kNone ||
      file->Commit() != StorageError::kNone) {
    return false;
  }
  for (int i = 0; i < small_commits; ++i) {
    std::vector<std::byte> property(180 + i, std::byte(i));
    if (file->WriteStream(u"Property", std::move(property)) != StorageError::kNone ||
        file->Commit() != StorageError::kNone) {
      return false;
    }
  }
  return true;
}

using kb::msi::ScopedHandle;

bool Run(MSIHANDLE database, const char* sql, MSIHANDLE parameters = 0) {
  ScopedHandle view;
  return MsiDatabaseOpenViewA(database, sql, view.Receive()) == ERROR_SUCCESS &&
         MsiViewExecute(view.get(), parameters) == ERROR_SUCCESS;
}

std::string VersionText(int i) {
  return "1.0." + std::to_string(i);
}

// The package build's edits through the installer interface: the cabinet into `_Streams`
// (a row by name, then its data from the file), then `commits` property updates, each
// committed.
bool StreamThenPropertyCommits(const std::filesystem::path& source, const std::filesystem::path& db,
                               int commits) {
  ScopedHandle database;
  ScopedHandle view;
  ScopedHandle row;
  if (MsiOpenDatabaseA(db.c_str(), MSIDBOPEN_TRANSACT, database.Receive()) != ERROR_SUCCESS ||
      !Run(database.get(), "insert into `_Streams` (`Name`) values('Instal01.cab')") ||
      MsiDatabaseOpenViewA(database.get(),
                           "select `Name`,`Data` from `_Streams` where "
                           "`Name`='Instal01.cab'",
                           view.Receive()) != ERROR_SUCCESS ||
      MsiViewExecute(view.get(), 0) != ERROR_SUCCESS ||
      MsiViewFetch(view.get(), row.Receive()) != ERROR_SUCCESS ||
      MsiRecordSetStreamA(row.get(), 2, source.c_str()) != ERROR_SUCCESS ||
      MsiViewModify(view.get(), MSIMODIFY_UPDATE, row.get()) != ERROR_SUCCESS ||
      MsiDatabaseCommit(database.get()) != ERROR_SUCCESS) {
    return false;
  }
  for (int i = 0; i < commits; ++i) {
    ScopedHandle value(MsiCreateRecord(1));
    MsiRecordSetStringA(value.get(), 1, VersionText(i).c_str());
    if (!Run(database.get(), "update `Property` set `Value`=? where `Property`='ProductVersion'",
             value.get()) ||
        MsiDatabaseCommit(database.get()) != ERROR_SUCCESS) {
      return false;
    }
  }
  return true;
}

// The same edits through msibuild, one run per edit as a build script would make them.
bool MsibuildStreamThenPropertyCommits(const std::filesystem::path& source,
                                       const std::filesystem::path& db, int commits) {
  const std::string target = "msibuild '" + db.string() + "' ";
  if (std::system((target + "-a Instal01.cab '" + source.string() + "'").c_str()) != 0) {
    return false;
  }
  for (int i = 0; i < commits; ++i) {
    const std::string query = "-q \"UPDATE \\`Property\\` SET \\`Value\\`='" + VersionText(i) +
                              "' WHERE \\`Property\\`='ProductVersion'\"";
    if (std::system((target + query).c_str()) != 0) return false;
  }
  return true;
}

void Report(benchmark::State& state, const Figures& f, const Figures& peer,
            std::uint64_t final_size) {
  if (!f.ok || !peer.ok) state.SkipWithError("scenario failed");
  state.SetIterationTime(f.seconds);
  state.counters["written_MB"] = static_cast<double>(f.wchar) / 1e6;
  state.counters["device_written_MB"] = static_cast<double>(f.write_bytes) / 1e6;
  state.counters["final_MB"] = static_cast<double>(final_size) / 1e6;
  state.counters["written_per_final"] = static_cast<double>(f.wchar) / final_size;
  state.counters["peak_rss_MB"] = static_cast<double>(f.peak_rss_kb) / 1024;
  state.counters["time_vs_peer"] = f.seconds / peer.seconds;
}

void BM_LargeStreamThenSmallCommits(benchmark::State& state) {
  const std::uint64_t size = static_cast<std::uint64_t>(state.range(0)) << 20;
  const int commits = static_cast<int>(state.range(1));
  const auto dir = BenchDir();
  MakeSource(dir / "source.bin", size);
  for (auto _ : state) {
    const Figures peer = Measure([&] { return PlainCopy(dir / "source.bin", dir / "copy.bin"); });
    const Figures f = Measure(
        [&] { return LargeStreamThenSmallCommits(dir / "source.bin", dir / "db.msi", commits); });
    Report(state, f, peer, std::filesystem::file_size(dir / "db.msi"));
  }
  std::filesystem::remove_all(dir);
}

// A database from our template receives a large stream and then small property commits,
// through our installer interface and, as the peer, through msibuild.
void BM_DatabaseStreamThenPropertyCommits(benchmark::State& state) {
  const std::uint64_t size = static_cast<std::uint64_t>(state.range(0)) << 20;
  const int commits = static_cast<int>(state.range(1));
  const std::filesystem::path template_path =
      std::filesystem::path(kb::platform::ProgramDirectory()) / "template-en.msi";
  const auto dir = BenchDir();
  MakeSource(dir / "source.bin", size);
  for (auto _ : state) {
    std::filesystem::copy_file(template_path, dir / "ours.msi");
    std::filesystem::copy_file(template_path, dir / "msibuild.msi");
    const Figures peer = Measure([&] {
      return MsibuildStreamThenPropertyCommits(dir / "source.bin", dir / "msibuild.msi", commits);
    });
    const Figures f = Measure(
        [&] { return StreamThenPropertyCommits(dir / "source.bin", dir / "ours.msi", commits); });
    Report(state, f, peer, std::filesystem::file_size(dir / "ours.msi"));
    state.counters["msibuild_written_MB"] = static_cast<double>(peer.wchar) / 1e6;
    state.counters["msibuild_final_MB"] =
        static_cast<double>(std::filesystem::file_size(dir / "msibuild.msi")) / 1e6;
    state.counters["msibuild_peak_rss_MB"] = static_cast<double>(peer.peak_rss_kb) / 1024;
    state.counters["msibuild_seconds"] = peer.seconds;
  }
  std::filesystem::remove_all(dir);
}

BENCHMARK(BM_DatabaseStreamThenPropertyCommits)
    ->Args({200, 20})
    ->ArgNames({"stream_MB", "property_commits"})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_LargeStreamThenSmallCommits)
    ->Args({200, 20})
    ->Args({1024, 0})
    ->ArgNames({"stream_MB", "small_commits"})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

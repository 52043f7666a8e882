// A two-table SELECT joined on a key, run by hand (a Release tree configured with
// -DKITBINDER_BENCH=ON; build/release/bin/bench_sql_join). Two tables of N rows each, in a
// database made in memory of the system's temporary folder: `Component` keyed by its name and
// `FeatureComponents` naming one component per row, joined as the installer's own queries
// join them. The time of the join should grow with N, not N squared: compare the joined rows
// a second ("rows/s") at 1,000 and 10,000 rows.
//
// BM_CrossJoinMemory pairs every row of the two tables (N squared rows) with and without
// ORDER BY and reports the peak memory the statement took, per joined row ("bytes/row"): the
// streamed join's stays near nothing, the sorted join's its gathered row numbers (12 to 16
// bytes a row while sorting) up to the sort's budget of 16 MB, beyond which they go through a
// temporary file in the system's temporary folder and the peak stays near the budget ("peak MB").
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"

namespace {

using kb::msi::ScopedHandle;

UINT Run(MSIHANDLE database, const std::string& sql, MSIHANDLE parameters = 0) {
  ScopedHandle view;
  UINT error = MsiDatabaseOpenViewA(database, sql.c_str(), view.Receive());
  return error == ERROR_SUCCESS ? MsiViewExecute(view.get(), parameters) : error;
}

// A database of two tables of `rows` rows each, every FeatureComponents row naming a
// component; false when it cannot be made.
bool MakeTables(MSIHANDLE database, int rows) {
  if (Run(database,
          "CREATE TABLE `Component` (`Component` CHAR(72) NOT NULL, `Directory_` CHAR(72), "
          "`Attributes` SHORT PRIMARY KEY `Component`)") != ERROR_SUCCESS ||
      Run(database,
          "CREATE TABLE `FeatureComponents` (`Feature_` CHAR(38) NOT NULL, `Component_` "
          "CHAR(72) NOT NULL PRIMARY KEY `Feature_`, `Component_`)") != ERROR_SUCCESS) {
    return false;
  }
  ScopedHandle record(MsiCreateRecord(3));
  for (int i = 0; i < rows; ++i) {
    const std::string component = "C" + std::to_string(i * 7919 % rows);
    MsiRecordSetStringA(record.get(), 1, component.c_str());
    MsiRecordSetStringA(record.get(), 2, ("D" + std::to_string(i % 50)).c_str());
    MsiRecordSetInteger(record.get(), 3, i % 3);
    if (Run(database,
            "INSERT INTO `Component` (`Component`, `Directory_`, `Attributes`) VALUES (?, ?, ?)",
            record.get()) != ERROR_SUCCESS) {
      return false;
    }
    MsiRecordSetStringA(record.get(), 1, ("F" + std::to_string(i % 20)).c_str());
    MsiRecordSetStringA(record.get(), 2, ("C" + std::to_string(i)).c_str());
    if (Run(database, "INSERT INTO `FeatureComponents` (`Feature_`, `Component_`) VALUES (?, ?)",
            record.get()) != ERROR_SUCCESS) {
      return false;
    }
  }
  return true;
}

void BM_JoinOnKey(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const std::string path = (std::filesystem::temp_directory_path() / "bench_sql_join.msi").string();
  ScopedHandle database;
  if (MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_CREATE, database.Receive()) != ERROR_SUCCESS ||
      !MakeTables(database.get(), rows)) {
    state.SkipWithError("cannot make the tables");
    return;
  }
  std::size_t fetched = 0;
  for (auto _ : state) {
    ScopedHandle view;
    MsiDatabaseOpenViewA(database.get(),
                         "SELECT `Feature_`, `Component`, `Directory_` FROM `FeatureComponents`, "
                         "`Component` WHERE `Component_` = `Component`",
                         view.Receive());
    MsiViewExecute(view.get(), 0);
    ScopedHandle record;
    fetched = 0;
    while (MsiViewFetch(view.get(), record.Receive()) == ERROR_SUCCESS) ++fetched;
  }
  if (fetched != static_cast<std::size_t>(rows)) state.SkipWithError("wrong number of rows");
  state.counters["rows"] = static_cast<double>(fetched);
  // Joined rows a second: steady from 1,000 to 10,000 rows when the join is linear.
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_JoinOnKey)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// A field of /proc/self/status in bytes ("VmHWM", "VmRSS"); 0 when it cannot be read.
double StatusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string name;
  double kilobytes = 0;
  while (status >> name) {
    if (name == field + ":" && status >> kilobytes) return kilobytes * 1024;
  }
  return 0;
}

// Makes the peak resident size start again from the present one.
void ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_CrossJoinMemory(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const bool sorted = state.range(1) != 0;
  const std::string path =
      (std::filesystem::temp_directory_path() / "bench_sql_join_memory.msi").string();
  ScopedHandle database;
  if (MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_CREATE, database.Receive()) != ERROR_SUCCESS ||
      !MakeTables(database.get(), rows)) {
    state.SkipWithError("cannot make the tables");
    return;
  }
  const std::string sql =
      std::string("SELECT `Feature_`, `Component` FROM `FeatureComponents`, `Component`") +
      (sorted ? " ORDER BY `Attributes`, `Directory_`" : "");
  std::size_t fetched = 0;
  double peak = 0;
  for (auto _ : state) {
    ResetPeak();
    const double before = StatusBytes("VmRSS");
    ScopedHandle view;
    MsiDatabaseOpenViewA(database.get(), sql.c_str(), view.Receive());
    MsiViewExecute(view.get(), 0);
    ScopedHandle record;
    fetched = 0;
    while (MsiViewFetch(view.get(), record.Receive()) == ERROR_SUCCESS) ++fetched;
    peak = StatusBytes("VmHWM") - before;
  }
  const auto expected = static_cast<std::size_t>(rows) * static_cast<std::size_t>(rows);
  if (fetched != expected) state.SkipWithError("wrong number of rows");
  state.counters["rows"] = static_cast<double>(fetched);
  state.counters["bytes/row"] = peak / static_cast<double>(fetched);
  state.counters["peak MB"] = peak / 1e6;
}
BENCHMARK(BM_CrossJoinMemory)
    ->ArgsProduct({{1000, 3000}, {0, 1}})
    ->ArgNames({"rows", "sorted"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

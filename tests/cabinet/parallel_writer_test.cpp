// The cabinet writer with several compression workers must do exactly what it does with one:
// the same callbacks with the same bytes in the same order, on the calling thread, and the same
// cabinets, which cabextract extracts. Every shape of cabinet the other writer tests build is
// run here with 1, 2, 3 and 8 workers, and so is a randomised set of file lists.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cabinet/builder/builder_callbacks.h"
#include "cabinet/cabinet_oracles.h"
#include "cabinet/cabinet_reader.h"
#include "cabinet/writer/cabinet_writer.h"
#include "test_support/needs.h"
#include "test_support/temp_dir.h"

namespace kb::cabinet {
namespace {

namespace fs = std::filesystem;
using test::FileSet;

int ThreadsInProcess() {
  return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/task"), {}));
}

// What a run of the writer did through its callbacks, source files aside (reading runs ahead
// of the staging by design): one line per call, writes with their size and CRC-32.
struct Recorder {
  std::thread::id caller = std::this_thread::get_id();
  bool off_thread = false;  // some callback came on another thread
  std::vector<std::string> events;
  std::map<int, int> staging_file;  // open handle -> number of the staging or cabinet file
  int files_opened = 0;
  std::map<int, int> writes_to;  // file number -> writes so far
  int fail_file = -1;            // the file whose write number fail_at fails with ENOSPC
  int fail_at = -1;
  std::int32_t cabinet_written_takes = 0;
  int most_threads = 0;  // seen during the run

  void Record(std::string event) {
    off_thread |= std::this_thread::get_id() != caller;
    events.push_back(std::move(event));
  }
};

Recorder& Of(void* ctx) {
  return *static_cast<Recorder*>(ctx);
}

int RecordingOpen(const std::string& path, int flags, int mode, int& err, void* ctx) {
  const int handle = BuilderCallbacks().open(path, flags, mode, err, ctx);
  Recorder& recorder = Of(ctx);
  const int number = recorder.files_opened++;
  recorder.Record("open " + std::to_string(number) + " " + std::to_string(flags) + " " +
                  std::to_string(handle != -1));
  if (handle != -1) recorder.staging_file[handle] = number;
  return handle;
}

std::int32_t RecordingRead(int handle, std::span<std::byte> buffer, int& err, void* ctx) {
  const std::int32_t n = BuilderCallbacks().read(handle, buffer, err, ctx);
  Recorder& recorder = Of(ctx);
  recorder.off_thread |= std::this_thread::get_id() != recorder.caller;
  if (const auto it = recorder.staging_file.find(handle); it != recorder.staging_file.end()) {
    recorder.Record("read " + std::to_string(it->second) + " " + std::to_string(n));
  }
  return n;
}

std::int32_t RecordingWrite(int handle, std::span<const std::byte> buffer, int& err, void* ctx) {
  Recorder& recorder = Of(ctx);
  const int number = recorder.staging_file.at(handle);
  const uLong crc =
      crc32(0, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(buffer.size()));
  recorder.Record("write " + std::to_string(number) + " " + std::to_string(buffer.size()) + " " +
                  std::to_string(crc));
  if (number == recorder.fail_file && recorder.writes_to[number]++ == recorder.fail_at) {
    err = ENOSPC;
    return -1;
  }
  return BuilderCallbacks().write(handle, buffer, err, ctx);
}

int RecordingClose(int handle, int& err, void* ctx) {
  Recorder& recorder = Of(ctx);
  recorder.off_thread |= std::this_thread::get_id() != recorder.caller;
  if (const auto it = recorder.staging_file.find(handle); it != recorder.staging_file.end()) {
    recorder.Record("close " + std::to_string(it->second));
    recorder.staging_file.erase(it);
  }
  return BuilderCallbacks().close(handle, err, ctx);
}

std::int64_t RecordingSeek(int handle, std::int64_t distance, int origin, int& err, void* ctx) {
  Recorder& recorder = Of(ctx);
  // Seeks of a source file (learning its size) read nothing of the output.
  if (const auto it = recorder.staging_file.find(handle); it != recorder.staging_file.end()) {
    recorder.Record("seek " + std::to_string(it->second) + " " + std::to_string(distance) + " " +
                    std::to_string(origin));
  }
  return BuilderCallbacks().seek(handle, distance, origin, err, ctx);
}

int RecordingRemove(const std::string& path, int& err, void* ctx) {
  Of(ctx).Record("remove");
  return BuilderCallbacks().remove(path, err, ctx);
}

bool RecordingTempName(std::span<char> buffer, void* ctx) {
  Of(ctx).Record("temporary name");
  return BuilderCallbacks().temp_name(buffer, ctx);
}

int RecordingFilePlaced(const CabinetParameters& parameters, std::string_view name,
                        std::uint32_t size, bool continuation, void* ctx) {
  Of(ctx).Record("placed " + std::string(name) + " " + std::to_string(size) + " " +
                 std::to_string(continuation) + " on " + parameters.cabinet_name.data());
  return 0;
}

std::int32_t RecordingStatus(std::uint32_t kind, std::uint32_t value1, std::uint32_t value2,
                             void* ctx) {
  Recorder& recorder = Of(ctx);
  recorder.Record("status " + std::to_string(kind) + " " + std::to_string(value1) + " " +
                  std::to_string(value2));
  if (kind == kStatusBlockCompressed && recorder.most_threads == 0) {
    recorder.most_threads = ThreadsInProcess();
  }
  return kind == kStatusCabinetWritten ? recorder.cabinet_written_takes : 0;
}

int RecordingNextCabinet(CabinetParameters& next, std::uint32_t estimate, void* ctx) {
  Of(ctx).Record("next cabinet " + std::to_string(next.cabinet_number) + " " +
                 std::to_string(estimate));
  std::snprintf(next.cabinet_name.data(), next.cabinet_name.size(), "w%d.cab", next.cabinet_number);
  return 1;
}

int SourceOpenInfo(const std::string& path, std::uint16_t& date, std::uint16_t& time,
                   std::uint16_t& attributes, int& err, void* ctx) {
  Recorder& recorder = Of(ctx);
  recorder.off_thread |= std::this_thread::get_id() != recorder.caller;
  return BuilderOpenInfo(path, date, time, attributes, err, ctx);
}

CabinetCallbacks RecordingCallbacks() {
  CabinetCallbacks callbacks = BuilderCallbacks();
  callbacks.open = RecordingOpen;
  callbacks.read = RecordingRead;
  callbacks.write = RecordingWrite;
  callbacks.close = RecordingClose;
  callbacks.seek = RecordingSeek;
  callbacks.remove = RecordingRemove;
  callbacks.temp_name = RecordingTempName;
  callbacks.file_placed = RecordingFilePlaced;
  return callbacks;
}

// One step of a run: a file, a folder break (FCIFlushFolder) or a cabinet break
// (FCIFlushCabinet with its flag set).
struct Step {
  enum Kind { kFile, kFolderBreak, kCabinetBreak } kind = kFile;
  std::string name;
  std::string contents;
  std::uint16_t type = kCompressMszip;
};

struct Shape {
  std::string label;
  std::uint32_t max_size = 600000000;
  std::uint32_t threshold = 900000;
  std::uint32_t reserves[3] = {0, 0, 0};  // header, folder, data
  std::int32_t cabinet_written_takes = 0;
  std::vector<Step> steps = {};

  FileSet files() const {
    FileSet set;
    for (const Step& step : steps) {
      if (step.kind == Step::kFile) set[step.name] = step.contents;
    }
    return set;
  }
};

Step File(std::string name, std::string contents, std::uint16_t type = kCompressMszip) {
  return {Step::kFile, std::move(name), std::move(contents), type};
}
const Step kFolderBreak{Step::kFolderBreak, "", "", kCompressMszip};
const Step kCabinetBreak{Step::kCabinetBreak, "", "", kCompressMszip};

struct Outcome {
  Recorder recorder;
  bool succeeded = false;
  CabinetError error;
  std::map<std::string, std::string> cabinets;  // file name -> bytes
  bool temporaries_left = false;
};

// Runs the writer over a shape in a fresh folder.
class WriterRun {
 public:
  WriterRun() {
    fs::create_directory(dir_.path() / "tmp");
    fs::create_directory(dir_.path() / "out");
    ::setenv("TMPDIR", (dir_.path() / "tmp").c_str(), 1);
  }
  ~WriterRun() { ::setenv("TMPDIR", saved_tmpdir_.c_str(), 1); }
  WriterRun(const WriterRun&) = delete;
  WriterRun& operator=(const WriterRun&) = delete;

  // Writes the shape's files once, so that every run reads the same dates too.
  explicit WriterRun(const Shape& shape) : WriterRun() {
    for (const Step& step : shape.steps) {
      if (step.kind == Step::kFile) test::WriteBytes(dir_.path() / step.name, step.contents);
    }
  }

  Outcome Run(const Shape& shape, std::size_t workers, int fail_file = -1, int fail_at = -1,
              MszipLevel level = MszipLevel::kBest) {
    Outcome outcome;
    outcome.recorder.fail_file = fail_file;
    outcome.recorder.fail_at = fail_at;
    outcome.recorder.cabinet_written_takes = shape.cabinet_written_takes;
    FciHandle context = FCICreate(&outcome.error, RecordingCallbacks(), Parameters(shape),
                                  &outcome.recorder, workers, level);
    outcome.succeeded = context && AddAll(*context, shape) &&
                        FCIFlushCabinet(*context, false, RecordingNextCabinet, RecordingStatus);
    outcome.succeeded = FCIDestroy(std::move(context)) && outcome.succeeded;
    for (const auto& entry : fs::directory_iterator(dir_.path() / "out")) {
      outcome.cabinets[entry.path().filename().string()] = test::ReadBytes(entry.path());
      fs::remove(entry.path());
    }
    outcome.temporaries_left = !fs::is_empty(dir_.path() / "tmp");
    return outcome;
  }

  fs::path out() const { return dir_.path() / "out"; }

 private:
  CabinetParameters Parameters(const Shape& shape) const {
    CabinetParameters parameters{};
    parameters.max_cabinet_size = shape.max_size;
    parameters.folder_threshold = shape.threshold;
    parameters.header_reserve = shape.reserves[0];
    parameters.folder_reserve = shape.reserves[1];
    parameters.data_reserve = shape.reserves[2];
    parameters.cabinet_number = 1;
    parameters.set_id = 4321;
    std::strcpy(parameters.disk_name.data(), "D");
    std::strcpy(parameters.cabinet_name.data(), "w1.cab");
    std::strcpy(parameters.cabinet_path.data(), (out().string() + "/").c_str());
    return parameters;
  }

  bool AddAll(FciContext& context, const Shape& shape) const {
    for (const Step& step : shape.steps) {
      bool ok = false;
      switch (step.kind) {
        case Step::kFile:
          ok = FCIAddFile(context, (dir_.path() / step.name).string(), step.name, false,
                          RecordingNextCabinet, RecordingStatus, SourceOpenInfo, step.type);
          break;
        case Step::kFolderBreak:
          ok = FCIFlushFolder(context, RecordingNextCabinet, RecordingStatus);
          break;
        case Step::kCabinetBreak:
          ok = FCIFlushCabinet(context, true, RecordingNextCabinet, RecordingStatus);
          break;
      }
      // Which call reports a failure is not recorded: with several workers a block's staging,
      // and so its failure, may come in a later call than with one (at the latest the flush).
      if (!ok) return false;
    }
    return true;
  }

  const std::string saved_tmpdir_ = fs::temp_directory_path().string();
  test::TempDir dir_;
};

// The outcome with `workers` workers matches the one-worker outcome to the byte.
testing::AssertionResult SameAsOneWorker(const Outcome& one, const Outcome& many,
                                         std::size_t workers) {
  if (many.recorder.off_thread) {
    return testing::AssertionFailure() << "a callback came on another thread";
  }
  if (many.succeeded != one.succeeded || many.error.code != one.error.code ||
      many.error.runtime_error != one.error.runtime_error) {
    return testing::AssertionFailure()
           << workers << " workers: success " << many.succeeded << " code " << many.error.code
           << " errno " << many.error.runtime_error << "; one worker: success " << one.succeeded
           << " code " << one.error.code << " errno " << one.error.runtime_error;
  }
  const std::vector<std::string>& a = one.recorder.events;
  const std::vector<std::string>& b = many.recorder.events;
  for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    const std::string left = i < a.size() ? a[i] : "(end)";
    const std::string right = i < b.size() ? b[i] : "(end)";
    if (left != right) {
      return testing::AssertionFailure() << "callback " << i << ": one worker '" << left << "', "
                                         << workers << " workers '" << right << "'";
    }
  }
  if (many.cabinets != one.cabinets) {
    return testing::AssertionFailure() << workers << " workers wrote other cabinet files";
  }
  if (many.temporaries_left) return testing::AssertionFailure() << "temporaries left behind";
  return testing::AssertionSuccess();
}

constexpr std::size_t kWorkerCounts[] = {2, 3, 8};

// The shape with its MSZIP files made LZX files.
Shape AsLzx(Shape shape) {
  for (Step& step : shape.steps) {
    if (step.type == kCompressMszip) step.type = kCompressLzx;
  }
  shape.label += " (LZX)";
  return shape;
}

// Runs `shape` with 1, 2, 3 and 8 workers; all must agree, and cabextract must extract the
// files from the one-worker cabinets when the run succeeded.
void ExpectSameWithEveryWorkerCount(const Shape& shape, bool check_with_cabextract = true) {
  SCOPED_TRACE(shape.label);
  WriterRun run(shape);
  const Outcome one = run.Run(shape, 1);
  EXPECT_FALSE(one.recorder.off_thread);
  EXPECT_FALSE(one.temporaries_left);
  for (const std::size_t workers : kWorkerCounts) {
    EXPECT_TRUE(SameAsOneWorker(one, run.Run(shape, workers), workers));
  }
  if (!check_with_cabextract || !one.succeeded || shape.files().empty()) return;
  for (const auto& [name, bytes] : one.cabinets) test::WriteBytes(run.out() / name, bytes);
  EXPECT_TRUE(test::CabextractTestsClean(run.out() / "w1.cab"));
  EXPECT_TRUE(test::CabextractExtracts(run.out() / "w1.cab", shape.files()));
}

std::string Zeros(std::size_t n) {
  return std::string(n, '\0');
}

// The shapes of the writer and builder tests, a few more that only several workers could get
// wrong, and failures.
std::vector<Shape> KnownShapes() {
  std::vector<Shape> shapes;
  shapes.push_back({.label = "no files"});
  shapes.push_back({.label = "one empty file", .steps = {File("empty.txt", "")}});
  shapes.push_back({.label = "two files share a block",
                    .steps = {File("a.txt", test::TextBytes(20000, 1)),
                              File("b.txt", test::TextBytes(20000, 2))}});
  shapes.push_back(
      {.label = "sizes around the block size",
       .steps = {File("empty.txt", ""), File("one.bin", "x"),
                 File("below.bin", test::NoiseBytes(32767, 1)),
                 File("block.txt", test::TextBytes(32768, 2)),
                 File("above.bin", test::NoiseBytes(32769, 3)),
                 File("large.txt", test::TextBytes(300000, 4) + test::NoiseBytes(100000, 5))}});
  const std::string text = test::TextBytes(32768, 7);
  shapes.push_back({.label = "folder break: no history after it",
                    .steps = {File("a.txt", text), kFolderBreak, File("b.txt", text)}});
  shapes.push_back({.label = "history ends after a short block",
                    .steps = {File("a.txt", text + text.substr(0, 9000)), kFolderBreak,
                              File("b.txt", text.substr(0, 9000) + text), kFolderBreak,
                              kFolderBreak, File("c.txt", text + text)}});
  Shape threshold{.label = "threshold closes folders", .threshold = 90000};
  for (int i = 1; i <= 4; ++i) {
    threshold.steps.push_back(File("f" + std::to_string(i) + ".bin",
                                   test::NoiseBytes(40000, static_cast<std::uint32_t>(i))));
  }
  shapes.push_back(threshold);
  // More records than may wait behind the blocks in flight, then files that end where blocks
  // and folders end.
  Shape small_files{.label = "many small files behind long blocks"};
  small_files.steps.push_back(File("long.txt", test::TextBytes(8 * 32768, 1)));
  for (int i = 0; i < 1100; ++i) {
    small_files.steps.push_back(
        File("s" + std::to_string(i), std::string(static_cast<std::size_t>(i % 3), 's')));
  }
  for (int i = 0; i < 12; ++i) {
    small_files.steps.push_back(File(
        "m" + std::to_string(i),
        test::TextBytes(9000 + 3000 * static_cast<std::size_t>(i), static_cast<std::uint32_t>(i))));
  }
  shapes.push_back(small_files);
  shapes.push_back({.label = "spanning set",
                    .max_size = 40000,
                    .steps = {File("big.bin", test::NoiseBytes(90000, 1)),
                              File("small.txt", test::TextBytes(10000, 2))}});
  Shape many_cabinets{.label = "small cabinets and folders", .max_size = 60000, .threshold = 50000};
  for (int i = 0; i < 6; ++i) {
    many_cabinets.steps.push_back(
        File("f" + std::to_string(i) + ".bin", test::NoiseBytes(40000 + 1000 * i, i)));
    many_cabinets.steps.push_back(
        File("t" + std::to_string(i) + ".txt", test::TextBytes(30000, 100 + i)));
  }
  shapes.push_back(many_cabinets);
  // A stored block that ends exactly at the room left, then room for a header only, one byte
  // of the next block, and a split where the room ends.
  for (const std::uint32_t max_size : {32847u, 32855u, 32856u, 32838u}) {
    shapes.push_back({.label = "block room " + std::to_string(max_size),
                      .max_size = max_size,
                      .steps = {File("f", test::NoiseBytes(65536, 9), kCompressNone)}});
  }
  shapes.push_back({.label = "MSZIP block ends at the room",
                    .max_size = 32847,
                    .steps = {File("f", test::NoiseBytes(65536, 9))}});
  shapes.push_back({.label = "type changes close folders",
                    .steps = {File("a.txt", test::TextBytes(40000, 1), kCompressNone),
                              File("b.txt", test::TextBytes(70000, 2)),
                              File("c.bin", test::NoiseBytes(1000, 3), kCompressNone),
                              File("d.txt", test::TextBytes(70000, 4))}});
  shapes.push_back(
      {.label = "reserves",
       .reserves = {20, 5, 7},
       .steps = {File("a.txt", test::TextBytes(70000, 1)), File("b.bin", test::NoiseBytes(3, 2))}});
  shapes.push_back({.label = "folder without room for a byte",
                    .max_size = 1121,
                    .steps = {File("a.bin", test::NoiseBytes(1000, 1), kCompressNone), kFolderBreak,
                              File("b.bin", test::NoiseBytes(3000, 2), kCompressNone)}});
  shapes.push_back({.label = "cabinets share a disk",
                    .max_size = 100000,
                    .cabinet_written_takes = 60000,
                    .steps = {File("big.bin", test::NoiseBytes(150000, 4), kCompressNone)}});
  shapes.push_back({.label = "cabinet break",
                    .steps = {File("a.txt", test::TextBytes(50000, 1)), kCabinetBreak,
                              File("b.txt", test::TextBytes(50000, 2))}});
  shapes.push_back({.label = "zeros",
                    .steps = {File("z.bin", Zeros(400000)), File("t.txt", test::TextBytes(9, 1)),
                              File("y.bin", Zeros(70000))}});
  shapes.push_back({.label = "long name fails the flush",
                    .steps = {File("a.txt", test::TextBytes(100000, 1)),
                              File(std::string(256, 'n'), test::TextBytes(100000, 2))}});
  shapes.push_back({.label = "no room at all fails",
                    .max_size = 60,
                    .steps = {File("a.bin", test::NoiseBytes(5000, 1))}});
  return shapes;
}

TEST(ParallelWriterTest, EveryShapeComesOutTheSameWithAnyNumberOfWorkers) {
  if (const auto missing = kb::test::MissingTools({"cabextract"})) GTEST_SKIP() << *missing;
  for (const Shape& shape : KnownShapes()) ExpectSameWithEveryWorkerCount(shape);
}

// LZX folders are coded on the calling thread whatever the worker count; cabextract tests and
// extracts every shape's cabinets, and 7z (where installed) reads the single ones as well.
TEST(ParallelWriterTest, LzxShapesComeOutTheSameAndExtract) {
  if (const auto missing = kb::test::MissingTools({"cabextract"})) GTEST_SKIP() << *missing;
  const bool seven_zip = !kb::test::MissingTools({"7z"});
  for (const Shape& mszip_shape : KnownShapes()) {
    const Shape shape = AsLzx(mszip_shape);
    ExpectSameWithEveryWorkerCount(shape);
    if (!seven_zip) continue;
    WriterRun run(shape);
    const Outcome one = run.Run(shape, 1);
    if (!one.succeeded || shape.files().empty() || one.cabinets.size() != 1) continue;
    SCOPED_TRACE(shape.label);
    test::WriteBytes(run.out() / "w1.cab", one.cabinets.begin()->second);
    EXPECT_TRUE(test::SevenZipExtracts(run.out() / "w1.cab", shape.files()));
  }
}

// The faster MSZIP levels on every shape: the same with one worker and with eight, and read by
// both cabextract and (for a single cabinet, the only kind it reads) gcab.
TEST(ParallelWriterTest, FasterLevelsComeOutTheSameWithOneAndEightWorkers) {
  if (const auto missing = kb::test::MissingTools({"cabextract", "gcab"})) {
    GTEST_SKIP() << *missing;
  }
  for (const MszipLevel level : {MszipLevel::kNormal, MszipLevel::kFast}) {
    for (const Shape& shape : KnownShapes()) {
      SCOPED_TRACE(shape.label + (level == MszipLevel::kFast ? " (fast)" : " (normal)"));
      WriterRun run(shape);
      const Outcome one = run.Run(shape, 1, -1, -1, level);
      EXPECT_TRUE(SameAsOneWorker(one, run.Run(shape, 8, -1, -1, level), 8));
      if (!one.succeeded || shape.files().empty()) continue;
      for (const auto& [name, bytes] : one.cabinets) test::WriteBytes(run.out() / name, bytes);
      EXPECT_TRUE(one.cabinets.size() == 1
                      ? test::ReadersAgree(run.out() / "w1.cab", shape.files())
                      : test::CabextractExtracts(run.out() / "w1.cab", shape.files()));
    }
  }
}

// Random file lists: sizes from nothing to a few blocks, text, noise and zeros, folder breaks,
// and small size limits, so that folders close and cabinets span at every kind of place.
Shape RandomShape(std::mt19937& random, int number) {
  Shape shape{.label = "random list " + std::to_string(number)};
  if (random() % 2) shape.max_size = 20000 + random() % 300000;
  if (random() % 2) shape.threshold = 5000 + random() % 150000;
  const int steps = 1 + static_cast<int>(random() % 10);
  for (int i = 0; i < steps; ++i) {
    if (random() % 8 == 0) {
      shape.steps.push_back(kFolderBreak);
      continue;
    }
    static constexpr std::size_t kEdges[] = {0, 1, 32767, 32768, 32769, 65536};
    const std::uint32_t pick = random() % 10;
    const std::size_t size = pick < 2   ? kEdges[random() % std::size(kEdges)]
                             : pick < 6 ? random() % 3000
                                        : random() % 70000;
    const std::uint32_t seed = random();
    const std::uint32_t kind = random() % 4;
    std::string contents = kind == 0   ? test::NoiseBytes(size, seed)
                           : kind == 1 ? Zeros(size)
                                       : test::TextBytes(size, seed);
    shape.steps.push_back(File("f" + std::to_string(i), std::move(contents)));
  }
  return shape;
}

TEST(ParallelWriterTest, RandomFileListsComeOutTheSameWithAnyNumberOfWorkers) {
  if (const auto missing = kb::test::MissingTools({"cabextract"})) GTEST_SKIP() << *missing;
  std::mt19937 random(15);
  for (int n = 0; n < 300; ++n) {
    // cabextract checks every tenth list: the bytes are the same anyway.
    ExpectSameWithEveryWorkerCount(RandomShape(random, n), n % 10 == 0);
    if (HasFailure()) break;
  }
}

// Blocks after the first of a folder are coded with the block before them as history, with
// any number of workers: noise repeated within reach codes as a few matches.
TEST(ParallelWriterTest, BlocksOfAFolderShareHistoryWhateverTheWorkers) {
  const std::string noise = test::NoiseBytes(16384, 3);
  const Shape shape{.label = "noise repeated",
                    .steps = {File("repeated.bin", noise + noise + noise + noise)}};
  WriterRun run(shape);
  for (const std::size_t workers : {1, 8}) {
    const Outcome outcome = run.Run(shape, workers);
    ASSERT_TRUE(outcome.succeeded);
    const std::optional<test::CabLayout> cab =
        test::ReadCabinetLayout(outcome.cabinets.at("w1.cab"));
    ASSERT_TRUE(cab);
    ASSERT_EQ(cab->folders.at(0).blocks.size(), 2u);
    EXPECT_GT(cab->folders[0].blocks[0].compressed_size, 16384) << workers << " workers";
    EXPECT_LT(cab->folders[0].blocks[1].compressed_size, 300) << workers << " workers";
  }
}

// A write error in the middle of a folder, while other blocks are being compressed: the same
// failure as with one worker, and afterwards no temporary, no cabinet and no thread is left.
TEST(ParallelWriterTest, WriteErrorInTheMiddleOfAFolderFailsAlikeAndLeavesNothing) {
  const Shape shape{.label = "one folder of 40 blocks",
                    .steps = {File("a.txt", test::TextBytes(20 * 32768, 1)),
                              File("b.txt", test::TextBytes(20 * 32768 + 5, 2))}};
  // ThreadSanitizer starts a helper thread with the first thread; count it in.
  std::thread([] {}).join();
  const int threads_before = ThreadsInProcess();
  WriterRun run(shape);
  // Files 0 and 1 are the folder's temporaries, file 2 the data staging the blocks go to; each
  // block is written as a header and its data.
  const int data_staging = 2;
  const int data_of_block_17 = 2 * 17 + 1;
  const Outcome one = run.Run(shape, 1, data_staging, data_of_block_17);
  EXPECT_FALSE(one.succeeded);
  EXPECT_EQ(one.error.code, static_cast<std::int32_t>(FciError::kTempFile));
  EXPECT_EQ(one.error.runtime_error, ENOSPC);
  const Outcome eight = run.Run(shape, 8, data_staging, data_of_block_17);
  EXPECT_GE(eight.recorder.most_threads, threads_before + 8);
  EXPECT_TRUE(SameAsOneWorker(one, eight, 8));
  EXPECT_TRUE(eight.cabinets.empty());
  EXPECT_EQ(ThreadsInProcess(), threads_before);
}

}  // namespace
}  // namespace kb::cabinet

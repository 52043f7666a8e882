#include "cabinet/writer/cabinet_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <vector>

#include "cabinet/builder/builder_callbacks.h"
#include "cabinet/cabinet_oracles.h"
#include "cabinet/cabinet_reader.h"
#include "cabinet/run_program.h"
#include "test_support/needs.h"
#include "test_support/temp_dir.h"

namespace kb::cabinet {
namespace {

namespace fs = std::filesystem;
using test::CabLayout;
using test::FileSet;

// What the test's callbacks do besides the builder's real file access: fail on request, and
// count what they saw.
struct Faults {
  int allocations_left = -1;  // -1: never fail
  bool refuse_temp_names = false;
  bool refuse_removes = false;
  std::uint32_t abort_status_kind = 99;
  bool status_throws = false;  // as a client's status callback might when memory runs out
  bool abort_file_placed = false;
  bool abort_next_cabinet = false;
  std::int32_t written_cabinet_takes = 0;  // returned for kStatusCabinetWritten
  bool next_cabinet_on_new_disk = false;
  int cabinet_handle = -1;
  std::int64_t cabinet_bytes_left = -1;  // -1: the cabinet's writes never fail
  std::vector<std::uint32_t> written_sizes{};
};

Faults* g_faults = nullptr;  // the allocate callback has no context

void* CountedAllocate(std::size_t size) {
  if (g_faults->allocations_left == 0) return nullptr;
  if (g_faults->allocations_left > 0) --g_faults->allocations_left;
  return std::malloc(size);
}

int TrackingOpen(const std::string& path, int flags, int mode, int& err, void* ctx) {
  const int handle = BuilderCallbacks().open(path, flags, mode, err, ctx);
  if (flags == kOpenCabinetFlags) static_cast<Faults*>(ctx)->cabinet_handle = handle;
  return handle;
}

std::int32_t FailingWrite(int handle, std::span<const std::byte> buffer, int& err, void* ctx) {
  Faults& faults = *static_cast<Faults*>(ctx);
  if (handle == faults.cabinet_handle && faults.cabinet_bytes_left >= 0) {
    if (faults.cabinet_bytes_left < static_cast<std::int64_t>(buffer.size())) {
      err = ENOSPC;
      return -1;
    }
    faults.cabinet_bytes_left -= static_cast<std::int64_t>(buffer.size());
  }
  return BuilderCallbacks().write(handle, buffer, err, ctx);
}

int RefusableRemove(const std::string& path, int& err, void* ctx) {
  if (static_cast<Faults*>(ctx)->refuse_removes) return err = EACCES, -1;
  return BuilderCallbacks().remove(path, err, ctx);
}

bool RefusableTempName(std::span<char> buffer, void* ctx) {
  return !static_cast<Faults*>(ctx)->refuse_temp_names && BuilderCallbacks().temp_name(buffer, ctx);
}

int QuietFilePlaced(const CabinetParameters&, std::string_view, std::uint32_t, bool, void* ctx) {
  return static_cast<Faults*>(ctx)->abort_file_placed ? -1 : 0;
}

std::int32_t Status(std::uint32_t kind, std::uint32_t, std::uint32_t value2, void* ctx) {
  Faults& faults = *static_cast<Faults*>(ctx);
  if (kind == faults.abort_status_kind) return -1;
  if (faults.status_throws) throw std::bad_alloc();
  if (kind != kStatusCabinetWritten) return 0;
  faults.written_sizes.push_back(value2);
  return faults.written_cabinet_takes;
}

// Names cabinets "w<number>.cab" on disk "D" (or "D<number>" when each cabinet has its disk).
int NextCabinet(CabinetParameters& next, std::uint32_t, void* ctx) {
  Faults& faults = *static_cast<Faults*>(ctx);
  if (faults.abort_next_cabinet) return -1;
  std::snprintf(next.cabinet_name.data(), next.cabinet_name.size(), "w%d.cab", next.cabinet_number);
  if (faults.next_cabinet_on_new_disk) ++next.disk_number;
  return 1;
}

int OpenInfo(const std::string& path, std::uint16_t& date, std::uint16_t& time,
             std::uint16_t& attributes, int& err, void* ctx) {
  return BuilderOpenInfo(path, date, time, attributes, err, ctx);
}

// The error record after a failure.
void ExpectFailure(const CabinetError& error, FciError code) {
  EXPECT_TRUE(error.failed);
  EXPECT_EQ(error.code, static_cast<std::int32_t>(code));
}

class CabinetWriterTest : public testing::Test {
 public:
  void SetUp() override {
    if (const auto missing = kb::test::MissingTools({"cabextract", "gcab"}))
      GTEST_SKIP() << *missing;
  }
  CabinetWriterTest() {
    g_faults = &faults_;
    fs::create_directory(temp_folder());
    ::setenv("TMPDIR", temp_folder().c_str(), 1);
    callbacks_ = BuilderCallbacks();
    callbacks_.allocate = CountedAllocate;
    callbacks_.open = TrackingOpen;
    callbacks_.write = FailingWrite;
    callbacks_.remove = RefusableRemove;
    callbacks_.temp_name = RefusableTempName;
    callbacks_.file_placed = QuietFilePlaced;
    parameters_.max_cabinet_size = 600000000;
    parameters_.folder_threshold = 900000;
    parameters_.cabinet_number = 1;
    parameters_.set_id = 777;
    std::strcpy(parameters_.disk_name.data(), "D");
    std::strcpy(parameters_.cabinet_name.data(), "w1.cab");
    const std::string path = dir_.path().string() + "/";
    std::strcpy(parameters_.cabinet_path.data(), path.c_str());
  }
  ~CabinetWriterTest() override { g_faults = nullptr; }

  fs::path temp_folder() const { return dir_.path() / "tmp"; }
  fs::path cabinet(int number) const {
    return dir_.path() / ("w" + std::to_string(number) + ".cab");
  }

  FciHandle Create() { return FCICreate(&error_, callbacks_, parameters_, &faults_); }

  // Writes the file into the test folder and adds it under `name`.
  bool Add(FciContext& context, const std::string& name, const std::string& contents,
           std::uint16_t type = kCompressMszip) {
    test::WriteBytes(dir_.path() / name, contents);
    return FCIAddFile(context, (dir_.path() / name).string(), name, false, NextCabinet, Status,
                      OpenInfo, type);
  }

  bool Flush(FciContext& context) { return FCIFlushCabinet(context, false, NextCabinet, Status); }

  std::optional<CabLayout> Layout(int number) const {
    return test::ReadCabinetLayout(test::ReadBytes(cabinet(number)));
  }

  int TemporariesLeft() const {
    return static_cast<int>(std::distance(fs::directory_iterator(temp_folder()), {}));
  }

  test::TempDir dir_;
  Faults faults_;
  CabinetCallbacks callbacks_;
  CabinetParameters parameters_;
  CabinetError error_;
};

TEST_F(CabinetWriterTest, FiveTemporariesLiveInTheTempFolderUntilDestroy) {
  FciHandle context = Create();
  ASSERT_TRUE(context);
  ASSERT_EQ(TemporariesLeft(), 5);
  for (const auto& entry : fs::directory_iterator(temp_folder())) {
    EXPECT_TRUE(entry.path().filename().string().starts_with("xx")) << entry.path();
  }
  ASSERT_TRUE(Add(*context, "a.txt", "a"));
  ASSERT_TRUE(Flush(*context));
  EXPECT_EQ(TemporariesLeft(), 5);
  EXPECT_TRUE(FCIDestroy(std::move(context)));
  EXPECT_EQ(TemporariesLeft(), 0);
  EXPECT_FALSE(error_.failed);
}

TEST_F(CabinetWriterTest, ChangingTheTypeClosesTheFolder) {
  FciHandle context = Create();
  ASSERT_TRUE(context);
  const FileSet files = {{"a.txt", test::TextBytes(40000, 1)},
                         {"b.txt", test::TextBytes(40000, 2)},
                         {"c.bin", test::NoiseBytes(1000, 3)}};
  ASSERT_TRUE(Add(*context, "a.txt", files.at("a.txt"), kCompressNone));
  ASSERT_TRUE(Add(*context, "b.txt", files.at("b.txt"), kCompressMszip));
  ASSERT_TRUE(Add(*context, "c.bin", files.at("c.bin"), kCompressNone));
  ASSERT_TRUE(Flush(*context));
  ASSERT_TRUE(FCIDestroy(std::move(context)));
  const std::optional<CabLayout> cab = Layout(1);
  ASSERT_TRUE(cab);
  ASSERT_EQ(cab->folders.size(), 3u);
  EXPECT_EQ(cab->folders[0].compression_type, 0);
  EXPECT_EQ(cab->folders[1].compression_type, 1);
  EXPECT_EQ(cab->folders[2].compression_type, 0);
  EXPECT_EQ(cab->folders[0].blocks.at(0).compressed_size, 32768);
  EXPECT_EQ(cab->set_id, 777);
  EXPECT_TRUE(test::ReadersAgree(cabinet(1), files));
}

TEST_F(CabinetWriterTest, ReservesAreRecordedAndCoveredByTheChecksums) {
  parameters_.header_reserve = 20;
  parameters_.folder_reserve = 5;
  parameters_.data_reserve = 7;
  FciHandle context = Create();
  ASSERT_TRUE(context);
  const FileSet files = {{"a.txt", test::TextBytes(70000, 1)}, {"b.bin", test::NoiseBytes(3, 2)}};
  for (const auto& [name, contents] : files) ASSERT_TRUE(Add(*context, name, contents));
  ASSERT_TRUE(Flush(*context));
  ASSERT_TRUE(FCIDestroy(std::move(context)));
  const std::optional<CabLayout> cab = Layout(1);
  ASSERT_TRUE(cab);
  EXPECT_EQ(cab->flags, 4);
  EXPECT_EQ(cab->header_reserve, 20);
  EXPECT_EQ(cab->folder_reserve, 5);
  EXPECT_EQ(cab->data_reserve, 7);
  EXPECT_TRUE(test::ReadersAgree(cabinet(1), files));
}

// Stored blocks of a 65,536-byte file "f" are 8 + 32,768 bytes each. The first cabinet holds
// the 36-byte header, the next names "w2.cab" and "D" (9 bytes), one folder record (8) and the
// file record (16 + 2), so a maximum of 32,847 leaves room for exactly one block. Readers join
// the two cabinets only through a split block, so the first cabinet never ends on a whole block
// while the folder goes on.
struct RoomCase {
  std::uint32_t max_size;
  std::vector<std::uint16_t> first_cabinet_blocks;  // cbData of each
};

class BlockRoomTest : public CabinetWriterTest, public testing::WithParamInterface<RoomCase> {};

TEST_P(BlockRoomTest, FolderContinuesThroughASplitBlock) {
  parameters_.max_cabinet_size = GetParam().max_size;
  FciHandle context = Create();
  ASSERT_TRUE(context);
  const std::string contents = test::NoiseBytes(65536, 9);
  ASSERT_TRUE(Add(*context, "f", contents, kCompressNone));
  ASSERT_TRUE(Flush(*context));
  ASSERT_TRUE(FCIDestroy(std::move(context)));
  const std::optional<CabLayout> first = Layout(1);
  ASSERT_TRUE(first);
  EXPECT_LE(fs::file_size(cabinet(1)), GetParam().max_size);
  std::vector<std::uint16_t> sizes;
  for (const test::CabBlock& block : first->folders.at(0).blocks) {
    sizes.push_back(block.compressed_size);
  }
  EXPECT_EQ(sizes, GetParam().first_cabinet_blocks);
  EXPECT_EQ(first->folders.at(0).blocks.back().uncompressed_size, 0);
  EXPECT_EQ(first->next_cabinet, "w2.cab");
  EXPECT_TRUE(test::CabextractTestsClean(cabinet(1)));
  EXPECT_TRUE(test::CabextractExtracts(cabinet(1), {{"f", contents}}));
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, BlockRoomTest,
    testing::Values(RoomCase{32847, {32767}},         // the block would end exactly at the room
                    RoomCase{32855, {32767}},         // then room for a header but no data
                    RoomCase{32856, {32768, 1}},      // one byte of the next block fits
                    RoomCase{32847 - 9, {32768 - 9}}  // the block is split where the room ends
                    ),
    [](const testing::TestParamInfo<RoomCase>& room) {
      return "Max" + std::to_string(room.param.max_size);
    });

// Wine's cabinet library follows a set like Windows does: through the files continued from one
// cabinet into the next.
TEST_F(CabinetWriterTest, WineExtractsSetsJoinedAtEveryKindOfBoundary) {
  if (const auto missing = kb::test::MissingTools({"wine"})) GTEST_SKIP() << *missing;
  const std::string contents = test::NoiseBytes(65536, 9);
  test::TempDir wine_prefix;
  const test::ProgramOptions wine = {
      .cwd = dir_.path(),
      .env = {{"WINEPREFIX", wine_prefix.path().string()}, {"WINEDEBUG", "-all"}}};
  for (const std::uint32_t max_size : {32847u, 32855u, 32856u, 32838u}) {
    fs::remove_all(dir_.path() / "out");
    parameters_.max_cabinet_size = max_size;
    FciHandle context = Create();
    ASSERT_TRUE(context);
    ASSERT_TRUE(Add(*context, "f", contents, kCompressNone));
    ASSERT_TRUE(Flush(*context));
    ASSERT_TRUE(FCIDestroy(std::move(context)));
    const test::ProgramResult run =
        test::RunProgram({"wine", "extrac32", "/E", "/L", "Z:" + (dir_.path() / "out").string(),
                          "Z:" + cabinet(1).string()},
                         wine);
    EXPECT_EQ(run.exit_code, 0) << run.errors;
    EXPECT_EQ(test::ReadBytes(dir_.path() / "out" / "f"), contents) << "maximum " << max_size;
  }
  test::RunProgram({"wineserver", "-k"}, wine);
}

TEST_F(CabinetWriterTest, FolderWithoutRoomForAByteStartsTheNextCabinet) {
  // After folder 0 (1,083 bytes with header and names) a maximum of 1,121 leaves exactly one
  // block header of room for folder 1.
  parameters_.max_cabinet_size = 1121;
  FciHandle context = Create();
  ASSERT_TRUE(context);
  const FileSet files = {{"a.bin", test::NoiseBytes(1000, 1)},
                         {"b.bin", test::NoiseBytes(3000, 2)}};
  ASSERT_TRUE(Add(*context, "a.bin", files.at("a.bin"), kCompressNone));
  ASSERT_TRUE(FCIFlushFolder(*context, NextCabinet, Status));
  ASSERT_TRUE(Add(*context, "b.bin", files.at("b.bin"), kCompressNone));
  ASSERT_TRUE(Flush(*context));
  ASSERT_TRUE(FCIDestroy(std::move(context)));
  const std::optional<CabLayout> first = Layout(1);
  const std::optional<CabLayout> second = Layout(2);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->folders.size(), 1u);
  EXPECT_EQ(first->files.size(), 1u);
  EXPECT_EQ(first->next_cabinet, "w2.cab");
  EXPECT_EQ(second->files.at(0).name, "b.bin");
  EXPECT_NE(second->files.at(0).folder, 0xFFFD);
  EXPECT_TRUE(test::CabextractTestsClean(cabinet(1)));
  EXPECT_TRUE(test::CabextractExtracts(cabinet(1), files));
}

TEST_F(CabinetWriterTest, MaximumWithoutRoomForDataFails) {
  parameters_.max_cabinet_size = 60;
  FciHandle context = Create();
  ASSERT_TRUE(context);
  EXPECT_FALSE(Add(*context, "a.bin", test::NoiseBytes(5000, 1), kCompressNone));
  ExpectFailure(error_, FciError::kCabinetFile);
  EXPECT_EQ(error_.runtime_error, kMaxSizeTooSmall);
  EXPECT_TRUE(FCIDestroy(std::move(context)));
  EXPECT_FALSE(fs::exists(cabinet(1)));
  EXPECT_EQ(TemporariesLeft(), 0);
}
// Spans 150,000 stored bytes over cabinets of at most 100,000 bytes whose status callback takes
// `takes` bytes off the disk for each cabinet written; returns the sizes written, or nothing when
// the flush failed.
std::optional<std::vector<std::uint32_t>> SizesWhenEachCabinetTakes(CabinetWriterTest& test,
                                                                    std::int32_t takes,
                                                                    bool disk_per_cabinet) {
  test.parameters_.max_cabinet_size = 100000;
  test.faults_.written_cabinet_takes = takes;
  test.faults_.next_cabinet_on_new_disk = disk_per_cabinet;
  test.faults_.written_sizes.clear();
  FciHandle context = test.Create();
  const std::string contents = test::NoiseBytes(150000, 4);
  if (!context || !test.Add(*context, "big.bin", contents, kCompressNone) ||
      !test.Flush(*context)) {
    return std::nullopt;
  }
  EXPECT_TRUE(FCIDestroy(std::move(context)));
  EXPECT_TRUE(test::CabextractExtracts(test.cabinet(1), {{"big.bin", contents}}));
  return test.faults_.written_sizes;
}

TEST_F(CabinetWriterTest, CabinetsOfOneDiskShareItsRemainingSize) {
  // After the first cabinet 50,000 bytes of the disk are left for the second.
  const auto shared = SizesWhenEachCabinetTakes(*this, 50000, false);
  ASSERT_TRUE(shared);
  ASSERT_GE(shared->size(), 3u);
  EXPECT_EQ(shared->at(0), 100000u);
  EXPECT_EQ(shared->at(1), 50000u);
  const auto own_disks = SizesWhenEachCabinetTakes(*this, 60000, true);
  ASSERT_TRUE(own_disks);
  EXPECT_EQ(own_disks->size(), 2u);
}

TEST_F(CabinetWriterTest, CabinetClaimingMoreThanTheDiskHasLeftFails) {
  // The second cabinet may have 40,000 bytes and claims 60,000: counting on would wrap the
  // remaining size around to almost 4 GB.
  EXPECT_FALSE(SizesWhenEachCabinetTakes(*this, 60000, false));
  ExpectFailure(error_, FciError::kCabinetFile);
  EXPECT_EQ(faults_.written_sizes, (std::vector<std::uint32_t>{100000, 40000}));
}

// A folder of empty files that no longer fits ends the cabinet without leaving data for the
// next; the next cabinet's first folder is still its folder 0.
TEST_F(CabinetWriterTest, FolderAfterAFullCabinetIsTheNextCabinetsFirst) {
  parameters_.max_cabinet_size = 2000;
  FciHandle context = Create();
  ASSERT_TRUE(context);
  FileSet files = {{"a.bin", test::NoiseBytes(1000, 1)}, {"c.bin", test::NoiseBytes(100, 3)}};
  ASSERT_TRUE(Add(*context, "a.bin", files["a.bin"], kCompressNone));
  ASSERT_TRUE(FCIFlushFolder(*context, NextCabinet, Status));
  for (char c = 'p'; c < 'u'; ++c) {
    const std::string name = std::string(200, c);
    files[name] = "";
    ASSERT_TRUE(Add(*context, name, "", kCompressNone));
  }
  ASSERT_TRUE(fs::exists(cabinet(1)));
  ASSERT_TRUE(Add(*context, "c.bin", files["c.bin"], kCompressNone));
  ASSERT_TRUE(Flush(*context));
  ASSERT_TRUE(FCIDestroy(std::move(context)));
  const std::optional<CabLayout> second = Layout(2);
  ASSERT_TRUE(second);
  ASSERT_EQ(second->files.size(), 1u);
  EXPECT_EQ(second->files[0].folder, 0);
  EXPECT_TRUE(test::CabextractTestsClean(cabinet(1)));
  EXPECT_TRUE(test::CabextractExtracts(cabinet(1), files));
}

TEST_F(CabinetWriterTest, FlushCabinetWithTheFlagStartsTheNextCabinet) {
  FciHandle context = Create();
  ASSERT_TRUE(context);
  ASSERT_TRUE(Add(*context, "a.txt", "first"));
  ASSERT_TRUE(FCIFlushCabinet(*context, true, NextCabinet, Status));
  ASSERT_TRUE(Add(*context, "b.txt", "second"));
  ASSERT_TRUE(Flush(*context));
  ASSERT_TRUE(FCIDestroy(std::move(context)));
  const std::optional<CabLayout> second = Layout(2);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->previous_cabinet, "w1.cab");
  EXPECT_EQ(second->cabinet_index, 1);
  EXPECT_EQ(second->files.at(0).folder, 0);
  EXPECT_TRUE(test::CabextractExtracts(cabinet(1), {{"a.txt", "first"}, {"b.txt", "second"}}));
}

TEST_F(CabinetWriterTest, ExecuteFlagAddsItsAttribute) {
  FciHandle context = Create();
  ASSERT_TRUE(context);
  test::WriteBytes(dir_.path() / "run.exe", "MZ");
  ASSERT_TRUE(FCIAddFile(*context, (dir_.path() / "run.exe").string(), "run.exe", true, NextCabinet,
                         Status, OpenInfo, kCompressMszip));
  ASSERT_TRUE(Flush(*context));
  ASSERT_TRUE(FCIDestroy(std::move(context)));
  const std::optional<CabLayout> cab = Layout(1);
  ASSERT_TRUE(cab);
  EXPECT_EQ(cab->files.at(0).attributes, 0x20 | 0x40);
}

TEST_F(CabinetWriterTest, UnknownCompressionTypes) {
  FciHandle context = Create();
  ASSERT_TRUE(context);
  // Quantum, LZX with no window or another window than the 2 MB one, an unused type.
  for (const std::uint16_t type :
       {std::uint16_t{2}, std::uint16_t{3}, std::uint16_t{0x1003}, std::uint16_t{15}}) {
    error_ = {};
    EXPECT_FALSE(Add(*context, "a.txt", "a", type)) << type;
    ExpectFailure(error_, FciError::kBadCompressionType);
  }
  EXPECT_TRUE(FCIDestroy(std::move(context)));
  EXPECT_EQ(TemporariesLeft(), 0);
}

int FailingOpenInfo(const std::string&, std::uint16_t&, std::uint16_t&, std::uint16_t&, int& err,
                    void*) {
  err = ENOENT;
  return -1;
}

// Opens a folder, which opens fine but fails every read.
int FolderOpenInfo(const std::string&, std::uint16_t&, std::uint16_t&, std::uint16_t&, int&,
                   void* ctx) {
  int err = 0;
  return BuilderCallbacks().open(fs::temp_directory_path().string(), 0, 0, err, ctx);
}

TEST_F(CabinetWriterTest, SourceFailuresCarryTheRuntimeError) {
  FciHandle context = Create();
  ASSERT_TRUE(context);
  EXPECT_FALSE(
      FCIAddFile(*context, "x", "x", false, NextCabinet, Status, FailingOpenInfo, kCompressMszip));
  ExpectFailure(error_, FciError::kOpenFile);
  EXPECT_EQ(error_.runtime_error, ENOENT);
  EXPECT_FALSE(
      FCIAddFile(*context, "x", "x", false, NextCabinet, Status, FolderOpenInfo, kCompressMszip));
  ExpectFailure(error_, FciError::kReadFile);
  EXPECT_EQ(error_.runtime_error, EISDIR);
  EXPECT_TRUE(FCIDestroy(std::move(context)));
}

// Reads that never end: every call hands back a full buffer without touching a disk.
std::int32_t EndlessRead(int, std::span<std::byte> buffer, int&, void*) {
  return static_cast<std::int32_t>(buffer.size());
}
std::int32_t DiscardingWrite(int, std::span<const std::byte> buffer, int&, void*) {
  return static_cast<std::int32_t>(buffer.size());
}

TEST_F(CabinetWriterTest, FolderLargerThanItsBlockCountCanHoldIsRefused) {
  callbacks_.read = EndlessRead;
  callbacks_.write = DiscardingWrite;
  FciHandle context = Create();
  ASSERT_TRUE(context);
  test::WriteBytes(dir_.path() / "endless", "");
  EXPECT_FALSE(FCIAddFile(*context, (dir_.path() / "endless").string(), "endless", false,
                          NextCabinet, Status, OpenInfo, kCompressNone));
  ExpectFailure(error_, FciError::kReadFile);
  EXPECT_EQ(error_.runtime_error, EFBIG);
  EXPECT_TRUE(FCIDestroy(std::move(context)));
}

TEST_F(CabinetWriterTest, AllocationFailures) {
  faults_.allocations_left = 0;
  EXPECT_FALSE(Create());
  ExpectFailure(error_, FciError::kAllocFail);
  faults_.allocations_left = 1;  // the context, then not the first file's buffers
  FciHandle context = Create();
  ASSERT_TRUE(context);
  EXPECT_FALSE(Add(*context, "a.txt", "a", kCompressNone));
  ExpectFailure(error_, FciError::kAllocFail);
  EXPECT_TRUE(FCIDestroy(std::move(context)));
  faults_.allocations_left = -1;
  faults_.status_throws = true;  // a callback's std::bad_alloc fails the call, not the client
  context = Create();
  ASSERT_TRUE(context);
  EXPECT_FALSE(Add(*context, "b.txt", std::string(40000, 'b'), kCompressNone));
  ExpectFailure(error_, FciError::kAllocFail);
  EXPECT_TRUE(FCIDestroy(std::move(context)));
  EXPECT_EQ(TemporariesLeft(), 0);
}

TEST_F(CabinetWriterTest, TemporaryFailures) {
  faults_.refuse_temp_names = true;
  EXPECT_FALSE(Create());
  ExpectFailure(error_, FciError::kTempFile);
  EXPECT_EQ(TemporariesLeft(), 0);

  faults_.refuse_temp_names = false;
  FciHandle context = Create();
  ASSERT_TRUE(context);
  faults_.refuse_removes = true;
  error_ = {};
  EXPECT_FALSE(FCIDestroy(std::move(context)));
  ExpectFailure(error_, FciError::kTempFile);
  EXPECT_EQ(error_.runtime_error, EACCES);
}

TEST_F(CabinetWriterTest, NameLongerThan255FailsWhenTheFolderIsPlaced) {
  FciHandle context = Create();
  ASSERT_TRUE(context);
  test::WriteBytes(dir_.path() / "a.txt", "a");
  ASSERT_TRUE(FCIAddFile(*context, (dir_.path() / "a.txt").string(), std::string(256, 'n'), false,
                         NextCabinet, Status, OpenInfo, kCompressMszip));
  EXPECT_FALSE(Flush(*context));
  ExpectFailure(error_, FciError::kTempFile);
  EXPECT_TRUE(FCIDestroy(std::move(context)));
  EXPECT_FALSE(fs::exists(cabinet(1)));
}

TEST_F(CabinetWriterTest, CabinetFileFailuresRemoveThePartialFile) {
  std::strcpy(parameters_.cabinet_path.data(), (dir_.path() / "missing/").c_str());
  FciHandle context = Create();
  ASSERT_TRUE(context);
  ASSERT_TRUE(Add(*context, "a.txt", "a"));
  EXPECT_FALSE(Flush(*context));
  ExpectFailure(error_, FciError::kCabinetFile);
  EXPECT_EQ(error_.runtime_error, ENOENT);
  EXPECT_TRUE(FCIDestroy(std::move(context)));

  std::strcpy(parameters_.cabinet_path.data(), (dir_.path().string() + "/").c_str());
  faults_.cabinet_bytes_left = 100;  // the disk fills up while the cabinet is written
  context = Create();
  ASSERT_TRUE(context);
  ASSERT_TRUE(Add(*context, "b.bin", test::NoiseBytes(5000, 1)));
  EXPECT_FALSE(Flush(*context));
  ExpectFailure(error_, FciError::kCabinetFile);
  EXPECT_EQ(error_.runtime_error, ENOSPC);
  EXPECT_FALSE(fs::exists(cabinet(1)));
  EXPECT_TRUE(FCIDestroy(std::move(context)));
  EXPECT_EQ(TemporariesLeft(), 0);
}

TEST_F(CabinetWriterTest, ReservesTheFormatCannotRecordAreRefused) {
  parameters_.folder_reserve = 256;
  EXPECT_FALSE(Create());
  ExpectFailure(error_, FciError::kCabinetFile);
  parameters_.folder_reserve = 0;
  parameters_.header_reserve = 60001;
  EXPECT_FALSE(Create());
  EXPECT_EQ(TemporariesLeft(), 0);
}

TEST_F(CabinetWriterTest, CallbacksCanAbort) {
  faults_.abort_status_kind = kStatusBlockCompressed;
  FciHandle context = Create();
  ASSERT_TRUE(context);
  ASSERT_TRUE(Add(*context, "a.txt", "a"));  // a short block is staged when the folder closes
  EXPECT_FALSE(Flush(*context));
  ExpectFailure(error_, FciError::kUserAbort);
  EXPECT_TRUE(FCIDestroy(std::move(context)));

  faults_ = Faults();
  faults_.abort_file_placed = true;
  error_ = {};
  context = Create();
  ASSERT_TRUE(context);
  ASSERT_TRUE(Add(*context, "a.txt", "a"));
  EXPECT_FALSE(Flush(*context));
  ExpectFailure(error_, FciError::kUserAbort);
  EXPECT_TRUE(FCIDestroy(std::move(context)));

  faults_ = Faults();
  faults_.abort_next_cabinet = true;
  parameters_.max_cabinet_size = 1000;
  error_ = {};
  context = Create();
  ASSERT_TRUE(context);
  ASSERT_TRUE(Add(*context, "b.bin", test::NoiseBytes(5000, 1)));
  EXPECT_FALSE(Flush(*context));
  ExpectFailure(error_, FciError::kUserAbort);
  EXPECT_TRUE(FCIDestroy(std::move(context)));
  EXPECT_EQ(TemporariesLeft(), 0);
}

}  // namespace
}  // namespace kb::cabinet

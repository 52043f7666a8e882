#include "cabinet/builder/cabinet_builder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <numeric>

#include "cabinet/builder/builder_callbacks.h"
#include "cabinet/cabinet_oracles.h"
#include "cabinet/cabinet_reader.h"
#include "test_support/needs.h"
#include "test_support/temp_dir.h"

namespace kb::cabinet {
namespace {

namespace fs = std::filesystem;
using test::CabLayout;
using test::FileSet;

// Returns to the folder the test started in.
class CurrentFolderGuard {
 public:
  CurrentFolderGuard() : saved_(fs::current_path()) {}
  ~CurrentFolderGuard() { fs::current_path(saved_); }

 private:
  fs::path saved_;
};

// Each test works in a fresh folder with its own temporary folder, so that it can see every
// file the builder leaves behind, and hears the runs as `events`. The builder is destroyed
// first (its destructor makes the cabinet of a builder never run), then the current folder is
// restored, then the folder removed.
class CabinetBuilderTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const auto missing = kb::test::MissingTools({"cabextract", "gcab"}))
      GTEST_SKIP() << *missing;
  }
  CabinetBuilderTest() {
    fs::current_path(dir_.path());
    fs::create_directory(temp_folder());
    ::setenv("TMPDIR", temp_folder().c_str(), 1);
    EXPECT_TRUE(builder_->SetCabinetName("Install"));
    builder_->SetRunOptions(Options(kDefaultMaxCabinetSize));
  }

  // Options that record every event of a run in `events`: "entry <n>", "block <bytes done>
  // <compressed bytes>", "placed <name> <size> <cabinet>[ continued]", "copying <percent>".
  CabinetRunOptions Options(std::uint32_t max_cabinet_size) {
    const auto block = [this](const CabinetProgress& p) {
      events.push_back("block " + std::to_string(p.bytes_done) + " " +
                       std::to_string(p.compressed_bytes));
    };
    const auto placed = [this](const CabinetPlacement& p) {
      events.push_back("placed " + std::string(p.name) + " " + std::to_string(p.size) + " " +
                       std::string(p.cabinet) + (p.continuation ? " continued" : ""));
    };
    const auto copying = [this](std::uint32_t p) {
      events.push_back("copying " + std::to_string(p));
    };
    const auto entry = [this](const CabinetProgress& p) {
      events.push_back("entry " + std::to_string(p.entry));
    };
    return {.max_cabinet_size = max_cabinet_size,
            .observer = {.entry_starting = entry,
                         .block_compressed = block,
                         .file_placed = placed,
                         .folder_copying = copying}};
  }

  fs::path temp_folder() const { return dir_.path() / "tmp"; }

  // Writes the files into the folder and adds them, stored under their own names.
  void AddFiles(const FileSet& files) {
    for (const auto& [name, contents] : files) {
      test::WriteBytes(name, contents);
      builder_->AddFile(name, "");
    }
  }

  std::optional<CabLayout> Layout(const fs::path& cabinet) const {
    return test::ReadCabinetLayout(test::ReadBytes(cabinet));
  }

  bool TempFolderIsEmpty() const { return fs::is_empty(temp_folder()); }

  test::TempDir dir_;
  CurrentFolderGuard cwd_;
  std::vector<std::string> events;
  std::optional<CabinetBuilder> builder_{std::in_place};
};

TEST_F(CabinetBuilderTest, NoFilesMakeTheBareHeader) {
  ASSERT_TRUE(builder_->CreateCabinet()) << builder_->LastError();
  const std::string bytes = test::ReadBytes("Install1.cab");
  ASSERT_EQ(bytes.size(), 36u);
  const std::optional<CabLayout> cab = test::ReadCabinetLayout(bytes);
  ASSERT_TRUE(cab);
  EXPECT_EQ(cab->signature, "MSCF");
  EXPECT_EQ(cab->cabinet_size, 36u);
  EXPECT_EQ(cab->files_offset, 36u);
  EXPECT_EQ(cab->set_id, 12345);
  EXPECT_EQ(cab->flags, 0);
  EXPECT_TRUE(cab->folders.empty());
  EXPECT_TRUE(cab->files.empty());
  // cabextract refuses a cabinet without files ("no valid cabinets found"); gcab reads it.
  EXPECT_TRUE(test::GcabExtracts("Install1.cab", {}));
  EXPECT_TRUE(TempFolderIsEmpty());
}

TEST_F(CabinetBuilderTest, EmptyFileHasARecordAndNoBlock) {
  AddFiles({{"empty.txt", ""}});
  ASSERT_TRUE(builder_->CreateCabinet()) << builder_->LastError();
  const std::optional<CabLayout> cab = Layout("Install1.cab");
  ASSERT_TRUE(cab);
  ASSERT_EQ(cab->folders.size(), 1u);
  EXPECT_TRUE(cab->folders[0].blocks.empty());
  ASSERT_EQ(cab->files.size(), 1u);
  EXPECT_EQ(cab->files[0].size, 0u);
  EXPECT_TRUE(test::ReadersAgree("Install1.cab", {{"empty.txt", ""}}));
}

TEST_F(CabinetBuilderTest, FilesAroundTheBlockSizeComeBackWhole) {
  const FileSet files = {{"empty.txt", ""},
                         {"one.bin", "x"},
                         {"below.bin", test::NoiseBytes(32767, 1)},
                         {"block.txt", test::TextBytes(32768, 2)},
                         {"above.bin", test::NoiseBytes(32769, 3)},
                         {"large.txt", test::TextBytes(3 << 20, 4) + test::NoiseBytes(500000, 5)}};
  AddFiles(files);
  ASSERT_TRUE(builder_->CreateCabinet()) << builder_->LastError();
  EXPECT_TRUE(test::ReadersAgree("Install1.cab", files));
  EXPECT_FALSE(fs::exists("Install2.cab"));
  EXPECT_TRUE(TempFolderIsEmpty());
}

// Every compression a user can choose, from the smallest cabinet to the largest, makes a
// cabinet the readers extract (gcab reads no LZX: 7z does instead); each folder type says how
// it was coded, and stored folders hold the bytes as they are.
TEST_F(CabinetBuilderTest, EveryCompressionChoiceMakesACabinetTheReadersExtract) {
  const FileSet files = {{"below.bin", test::NoiseBytes(32767, 1)},
                         {"block.txt", test::TextBytes(32768, 2)},
                         {"large.txt", test::TextBytes(300000, 4) + test::NoiseBytes(70000, 5)}};
  AddFiles(files);
  std::uintmax_t smaller_choice_size = 0;
  for (const std::string_view name : {"lzx", "best", "normal", "fast", "none"}) {
    SCOPED_TRACE(name);
    const std::optional<CabinetCompression> compression = ParseCabinetCompression(name);
    ASSERT_TRUE(compression);
    CabinetRunOptions options = Options(kDefaultMaxCabinetSize);
    options.compression = *compression;
    builder_->SetRunOptions(options);
    ASSERT_TRUE(builder_->SetCabinetName(name));
    ASSERT_TRUE(builder_->CreateCabinet()) << builder_->LastError();
    const fs::path cabinet = std::string(name) + "1.cab";
    const bool lzx = *compression == CabinetCompression::kLzx;
    EXPECT_TRUE(lzx ? test::CabextractTestsClean(cabinet) : test::ReadersAgree(cabinet, files));
    if (lzx && !kb::test::MissingTools({"7z"})) {
      EXPECT_TRUE(test::SevenZipExtracts(cabinet, files));
    }
    const std::optional<CabLayout> cab = Layout(cabinet);
    ASSERT_TRUE(cab);
    ASSERT_EQ(cab->folders.size(), 1u);
    const int type = lzx ? 0x1503 : *compression == CabinetCompression::kNone ? 0 : 1;
    EXPECT_EQ(cab->folders[0].compression_type, type);
    if (lzx) continue;  // smaller than best on most data, not on text this repetitive
    EXPECT_GE(fs::file_size(cabinet), smaller_choice_size);
    smaller_choice_size = fs::file_size(cabinet);
  }
  EXPECT_GT(smaller_choice_size, 32767u + 32768 + 370000);
  EXPECT_FALSE(ParseCabinetCompression("Best"));
  EXPECT_FALSE(ParseCabinetCompression(""));
}

TEST_F(CabinetBuilderTest, TwoFilesOf20000BytesShareTheFirstBlock) {
  const FileSet files = {{"a.txt", test::TextBytes(20000, 1)},
                         {"b.txt", test::TextBytes(20000, 2)}};
  AddFiles(files);
  ASSERT_TRUE(builder_->CreateCabinet()) << builder_->LastError();
  const std::optional<CabLayout> cab = Layout("Install1.cab");
  ASSERT_TRUE(cab);
  ASSERT_EQ(cab->folders.size(), 1u);
  EXPECT_EQ(cab->folders[0].compression_type, 1);
  ASSERT_EQ(cab->folders[0].blocks.size(), 2u);
  EXPECT_EQ(cab->folders[0].blocks[0].uncompressed_size, 32768);
  EXPECT_EQ(cab->folders[0].blocks[1].uncompressed_size, 7232);
  ASSERT_EQ(cab->files.size(), 2u);
  EXPECT_EQ(cab->files[1].folder_offset, 20000u);
  EXPECT_TRUE(test::ReadersAgree("Install1.cab", files));
}

// Inflates one MSZIP block on its own, without the history of any block before it.
std::optional<std::string> InflateAlone(const std::string& block) {
  if (block.size() < 2 || block.compare(0, 2, "CK") != 0) return std::nullopt;
  std::string out(32768, '\0');
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return std::nullopt;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data() + 2));
  z.avail_in = static_cast<uInt>(block.size() - 2);
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&z, Z_FINISH);
  out.resize(z.total_out);
  inflateEnd(&z);
  if (result != Z_STREAM_END) return std::nullopt;
  return out;
}

TEST_F(CabinetBuilderTest, FolderBreakStartsAFolderWithoutHistory) {
  // The same text twice: with history the second copy would be coded as matches into the first.
  const std::string text = test::TextBytes(32768, 7);
  test::WriteBytes("a.txt", text);
  test::WriteBytes("b.txt", text);
  builder_->AddFile("a.txt", "");
  builder_->AddFile("+", "");
  builder_->AddFile("b.txt", "");
  ASSERT_TRUE(builder_->CreateCabinet()) << builder_->LastError();
  const std::optional<CabLayout> cab = Layout("Install1.cab");
  ASSERT_TRUE(cab);
  ASSERT_EQ(cab->folders.size(), 2u);
  ASSERT_EQ(cab->files.size(), 2u);
  EXPECT_EQ(cab->files[1].folder, 1);
  EXPECT_EQ(cab->files[1].folder_offset, 0u);
  ASSERT_FALSE(cab->folders[1].blocks.empty());
  EXPECT_EQ(InflateAlone(cab->folders[1].blocks[0].data), text);
  EXPECT_TRUE(test::ReadersAgree("Install1.cab", {{"a.txt", text}, {"b.txt", text}}));
}

TEST_F(CabinetBuilderTest, FolderClosesOnceItsStagedBlocksPassTheThreshold) {
  // Noise does not compress, so three files of 400,000 bytes stage about 1,180,000 bytes of
  // full blocks, two about 787,000: the folder closes after the third file.
  FileSet files;
  for (int i = 1; i <= 4; ++i) {
    files["f" + std::to_string(i) + ".bin"] =
        test::NoiseBytes(400000, static_cast<std::uint32_t>(i));
  }
  AddFiles(files);
  ASSERT_TRUE(builder_->CreateCabinet()) << builder_->LastError();
  const std::optional<CabLayout> cab = Layout("Install1.cab");
  ASSERT_TRUE(cab);
  ASSERT_EQ(cab->files.size(), 4u);
  EXPECT_EQ(cab->files[2].folder, 0);
  EXPECT_EQ(cab->files[3].folder, 1);
  EXPECT_EQ(cab->files[3].folder_offset, 0u);
  EXPECT_TRUE(test::ReadersAgree("Install1.cab", files));
}

TEST_F(CabinetBuilderTest, SpanningSetLinksEveryCabinetToItsNeighbours) {
  builder_->SetRunOptions(Options(200000));
  const FileSet files = {{"big.bin", test::NoiseBytes(450000, 1)},
                         {"small.txt", test::TextBytes(10000, 2)}};
  AddFiles(files);
  ASSERT_TRUE(builder_->CreateCabinet()) << builder_->LastError();

  std::vector<CabLayout> set;
  for (int i = 1; fs::exists("Install" + std::to_string(i) + ".cab"); ++i) {
    const std::string name = "Install" + std::to_string(i) + ".cab";
    EXPECT_LE(fs::file_size(name), 200000u) << name;
    std::optional<CabLayout> cab = Layout(name);
    ASSERT_TRUE(cab) << name;
    set.push_back(*cab);
  }
  ASSERT_EQ(set.size(), 3u);
  for (std::size_t i = 0; i < set.size(); ++i) {
    const std::string previous = i > 0 ? "Install" + std::to_string(i) + ".cab" : "";
    const std::string next = i + 1 < set.size() ? "Install" + std::to_string(i + 2) + ".cab" : "";
    EXPECT_EQ(set[i].cabinet_index, i);
    EXPECT_EQ(set[i].set_id, 12345);
    EXPECT_EQ(set[i].previous_cabinet, previous);
    EXPECT_EQ(set[i].next_cabinet, next);
    EXPECT_EQ(set[i].previous_disk, previous.empty() ? "" : "MyDisk");
  }
  // big.bin runs through all three: continued into the next, from and into, from the previous.
  EXPECT_EQ(set[0].files.at(0).folder, 0xFFFE);
  EXPECT_EQ(set[1].files.at(0).folder, 0xFFFF);
  EXPECT_EQ(set[2].files.at(0).folder, 0xFFFD);
  EXPECT_NE(std::ranges::find(events, "placed big.bin 450000 Install3.cab continued"),
            events.end());
  EXPECT_TRUE(test::CabextractTestsClean("Install1.cab"));
  EXPECT_TRUE(test::CabextractExtracts("Install1.cab", files));
}

// With whole folders, every cabinet stands alone: gcab (which reads no sets) extracts each, and
// each file lies in one of them; past 65,535 file records a cabinet ends too, and a file larger
// than the maximum gets a cabinet of its own.
TEST_F(CabinetBuilderTest, WholeFoldersMakeCabinetsThatStandAlone) {
  CabinetRunOptions options = Options(200000);
  options.whole_folders = true;
  builder_->SetRunOptions(options);
  FileSet files;
  for (std::uint32_t i = 0; i < 9; ++i) {
    files["part" + std::to_string(i) + ".bin"] = test::NoiseBytes(40000 + i * 7000, i);
  }
  AddFiles(files);
  ASSERT_TRUE(builder_->CreateCabinet()) << builder_->LastError();
  ASSERT_GE(builder_->LastCabinetNumber(), 3);
  FileSet found;
  for (int i = 1; i <= builder_->LastCabinetNumber(); ++i) {
    const std::string name = "Install" + std::to_string(i) + ".cab";
    EXPECT_LE(fs::file_size(name), 200000u) << name;
    const std::optional<CabLayout> cab = Layout(name);
    ASSERT_TRUE(cab) << name;
    EXPECT_EQ(cab->flags, 0) << name;
    for (const auto& file : cab->files) {
      EXPECT_EQ(found.count(file.name), 0u) << file.name;
      found[file.name] = files.at(file.name);
    }
    FileSet held;
    for (const auto& file : cab->files) held[file.name] = files.at(file.name);
    EXPECT_TRUE(test::GcabExtracts(name, held)) << name;
  }
  EXPECT_EQ(found, files);

  builder_.emplace();
  ASSERT_TRUE(builder_->SetCabinetName("Many"));
  options = Options(kDefaultMaxCabinetSize);
  options.whole_folders = true;
  builder_->SetRunOptions(options);
  test::WriteBytes("big.bin", test::NoiseBytes(250000, 7));
  builder_->AddFile("big.bin", "");
  test::WriteBytes("empty", "");
  for (int i = 0; i < 65540; ++i) builder_->AddFile("empty", "e" + std::to_string(i));
  ASSERT_TRUE(builder_->CreateCabinet()) << builder_->LastError();
  ASSERT_EQ(builder_->LastCabinetNumber(), 2);
  const std::optional<CabLayout> first = Layout("Many1.cab");
  const std::optional<CabLayout> second = Layout("Many2.cab");
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->files.size(), 65535u);
  EXPECT_EQ(second->files.size(), 6u);
  EXPECT_EQ(first->flags | second->flags, 0);

  builder_.emplace();
  ASSERT_TRUE(builder_->SetCabinetName("Own"));
  options = Options(200000);
  options.whole_folders = true;
  builder_->SetRunOptions(options);
  const FileSet own = {{"a.txt", test::TextBytes(1000, 1)},
                       {"huge.bin", test::NoiseBytes(450000, 3)},
                       {"z.txt", test::TextBytes(1000, 2)}};
  AddFiles(own);
  ASSERT_TRUE(builder_->CreateCabinet()) << builder_->LastError();
  ASSERT_EQ(builder_->LastCabinetNumber(), 3);
  EXPECT_GT(fs::file_size("Own2.cab"), 450000u);
  EXPECT_TRUE(test::GcabExtracts("Own2.cab", {{"huge.bin", own.at("huge.bin")}}));
}

TEST_F(CabinetBuilderTest, ObserverHearsTotalsPlacementsAndCopying) {
  AddFiles({{"a.txt", test::TextBytes(20000, 1)}, {"b.txt", test::TextBytes(50000, 2)}});
  ASSERT_TRUE(builder_->CreateCabinet()) << builder_->LastError();
  const std::optional<CabLayout> cab = Layout("Install1.cab");
  ASSERT_TRUE(cab);
  std::int64_t compressed = 0;
  for (const test::CabBlock& block : cab->folders.at(0).blocks) compressed += block.compressed_size;

  std::vector<std::string> placed;
  std::string last_block;
  for (const std::string& event : events) {
    if (event.starts_with("placed")) placed.push_back(event);
    if (event.starts_with("block")) last_block = event;
  }
  EXPECT_EQ(placed, (std::vector<std::string>{"placed a.txt 20000 Install1.cab",
                                              "placed b.txt 50000 Install1.cab"}));
  EXPECT_EQ(last_block, "block 70000 " + std::to_string(compressed));
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[0], "entry 0");
  EXPECT_EQ(events[1], "entry 1");  // a.txt fills no block of its own
  EXPECT_TRUE(events[2].starts_with("block 32768 ")) << events[2];
  EXPECT_EQ(events.back(), "copying 100");
}

TEST_F(CabinetBuilderTest, MissingSourceFileFailsWithItsText) {
  AddFiles({{"here.txt", "here"}});
  builder_->AddFile("missing.txt", "");
  EXPECT_FALSE(builder_->CreateCabinet());
  EXPECT_EQ(builder_->LastError(),
            "FCIAddFile() failed: code 1 [Failure opening file to be stored in cabinet]\n");
  EXPECT_FALSE(fs::exists("Install1.cab"));
  EXPECT_TRUE(TempFolderIsEmpty());
}

// A pipe would wait for a writer for ever; it is refused at once.
TEST_F(CabinetBuilderTest, FolderOrPipeAsSourceFailsLikeAMissingFile) {
  fs::create_directory("folder");
  ASSERT_EQ(::mkfifo("pipe", 0644), 0);
  for (const char* source : {"folder", "pipe"}) {
    CabinetBuilder builder;
    ASSERT_TRUE(builder.SetCabinetName("Install"));
    builder.AddFile(source, "");
    EXPECT_FALSE(builder.CreateCabinet()) << source;
    EXPECT_EQ(builder.LastError(),
              "FCIAddFile() failed: code 1 [Failure opening file to be stored in cabinet]\n");
  }
}

TEST_F(CabinetBuilderTest, MissingTemporaryFolderFailsWithItsText) {
  ::setenv("TMPDIR", (dir_.path() / "no such folder").c_str(), 1);
  AddFiles({{"a.txt", "a"}});
  EXPECT_FALSE(builder_->CreateCabinet());
  EXPECT_EQ(builder_->LastError(),
            "FCICreate() failed: code 4 [Could not create a temporary file]\n");
}

TEST_F(CabinetBuilderTest, UnwritableFolderFailsWithItsTextAndLeavesNoTemporaries) {
  const fs::path source = dir_.path() / "a.txt";
  test::WriteBytes(source, "contents");
  builder_->AddFile(source.string(), "");
  // A folder that was removed after we entered it takes no new files, even for root.
  fs::create_directory("gone");
  fs::current_path("gone");
  fs::remove(dir_.path() / "gone");
  EXPECT_FALSE(builder_->CreateCabinet());
  EXPECT_EQ(builder_->LastError(),
            "FCIFlushCabinet() failed: code 6 [Could not create cabinet file]\n");
  EXPECT_TRUE(TempFolderIsEmpty());
}

TEST_F(CabinetBuilderTest, EmptyNamesComeFromTheSourcesFinalComponent) {
  fs::create_directory("sub");
  test::WriteBytes("C:\\dir\\a.txt", "a");  // one file name with backslashes in it
  test::WriteBytes("sub/b.txt", "b");
  test::WriteBytes("plain", "p");
  test::WriteBytes("d.txt", "d");
  builder_->AddFile("C:\\dir\\a.txt", "");
  builder_->AddFile("sub/b.txt", "");
  builder_->AddFile("plain", "");
  builder_->AddFile("d.txt", "Stored.Name");
  ASSERT_TRUE(builder_->CreateCabinet()) << builder_->LastError();
  EXPECT_TRUE(test::ReadersAgree(
      "Install1.cab", {{"a.txt", "a"}, {"b.txt", "b"}, {"plain", "p"}, {"Stored.Name", "d"}}));
}

TEST_F(CabinetBuilderTest, FileRecordsCarryModificationTimeAndAttributes) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  AddFiles({{"normal.txt", "n"}, {"readonly.txt", "r"}, {".hidden", "h"}});
  ::chmod("readonly.txt", 0444);
  // 2021-06-15 13:45:30 UTC.
  const struct timespec times[2] = {{1623764730, 0}, {1623764730, 0}};
  ::utimensat(AT_FDCWD, "normal.txt", times, 0);
  ASSERT_TRUE(builder_->CreateCabinet()) << builder_->LastError();
  const std::optional<CabLayout> cab = Layout("Install1.cab");
  ASSERT_TRUE(cab);
  std::map<std::string, test::CabFile> by_name;
  for (const test::CabFile& file : cab->files) by_name[file.name] = file;
  EXPECT_EQ(by_name["normal.txt"].attributes, 0x20);
  EXPECT_EQ(by_name["readonly.txt"].attributes, 0x21);
  EXPECT_EQ(by_name[".hidden"].attributes, 0x22);
  EXPECT_EQ(by_name["normal.txt"].date, (2021 - 1980) << 9 | 6 << 5 | 15);
  EXPECT_EQ(by_name["normal.txt"].time, 13 << 11 | 45 << 5 | 30 / 2);
}

TEST_F(CabinetBuilderTest, SuccessIsRememberedUntilTheNextCabinetName) {
  AddFiles({{"a.txt", "a"}});
  ASSERT_TRUE(builder_->CreateCabinet());
  fs::remove("Install1.cab");
  EXPECT_TRUE(builder_->CreateCabinet());
  EXPECT_FALSE(fs::exists("Install1.cab"));
  ASSERT_TRUE(builder_->SetCabinetName("Install"));
  EXPECT_TRUE(builder_->CreateCabinet());
  EXPECT_TRUE(fs::exists("Install1.cab"));
}

// The destructor makes the cabinet of a builder never run, but does not run a failed one again.
TEST_F(CabinetBuilderTest, DestructorMakesTheCabinetOnlyWhenNoRunFailed) {
  for (const bool run_first : {true, false}) {
    builder_.emplace();
    ASSERT_TRUE(builder_->SetCabinetName(run_first ? "Failed" : "Never"));
    builder_->SetRunOptions(Options(kDefaultMaxCabinetSize));
    builder_->AddFile("late.txt", "");
    events.clear();
    EXPECT_TRUE(!run_first || !builder_->CreateCabinet());
    test::WriteBytes("late.txt", "arrived");
    builder_.reset();
    EXPECT_FALSE(fs::exists("Failed1.cab"));
    EXPECT_EQ(std::ranges::count(events, "entry 0"), 1) << "one run, run_first " << run_first;
  }
  EXPECT_TRUE(test::ReadersAgree("Never1.cab", {{"late.txt", "arrived"}}));
}

TEST_F(CabinetBuilderTest, PrefixMustLeaveRoomForNumberAndExtension) {
  EXPECT_FALSE(builder_->SetCabinetName(std::string(CabinetBuilder::kMaxPrefixLength + 1, 'p')));
  const std::string longest(CabinetBuilder::kMaxPrefixLength, 'p');
  ASSERT_TRUE(builder_->SetCabinetName(longest));
  ASSERT_TRUE(builder_->CreateCabinet()) << builder_->LastError();
  EXPECT_TRUE(fs::exists(longest + "1.cab"));
}

TEST(PercentageTest, ScalesLargeValuesBeforeMultiplying) {
  EXPECT_EQ(Percentage(0, 0), 0u);
  EXPECT_EQ(Percentage(5, 0), 0u);
  EXPECT_EQ(Percentage(1, 3), 33u);
  EXPECT_EQ(Percentage(10000000, 10000000), 100u);
  EXPECT_EQ(Percentage(2000000000, 4000000000), 50u);
  EXPECT_EQ(Percentage(3000000000, 4000000000), 75u);
  EXPECT_EQ(Percentage(4000000000, 3000000000), 100u);  // more than the total
}

}  // namespace
}  // namespace kb::cabinet

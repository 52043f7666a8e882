#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "crafted_file.h"
#include "msi/db/stream_name.h"
#include "msi/storage/compound_file.h"
#include "msi/storage/file_io.h"
#include "ole_oracle.h"
#include "peer_databases.h"
#include "platform/regular_file.h"
#include "test_support/needs.h"
#include "test_support/temp_dir.h"

namespace kb::msi {
namespace {

using test::Listing;
using test::TestBytes;

constexpr Clsid kOtherClsid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

class WriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const auto missing = kb::test::MissingTools({"olefile"})) GTEST_SKIP() << *missing;
  }

  std::string Path(const char* name) const { return (dir_.path() / name).string(); }

  std::unique_ptr<CompoundFile> OpenForWriting(const std::string& path) {
    StorageError error;
    auto file = CompoundFile::Open(path, CompoundFile::Mode::kReadWrite, &error);
    EXPECT_TRUE(file) << static_cast<int>(error);
    return file;
  }

  std::unique_ptr<CompoundFile> CreateInstallerFile(const std::string& path, Listing* expected) {
    StorageError error;
    expected->clsid = "000c108400000000c000000000000046";
    return CompoundFile::Create(path, kInstallerDatabaseClsid, &error);
  }

  // Stages `data` both in the file and in the listing we expect back.
  void Put(CompoundFile& file, Listing& expected, const std::u16string& name,
           std::vector<std::byte> data) {
    expected.streams[name] = {data.size(), test::Crc(data)};
    ASSERT_EQ(file.WriteStream(name, std::move(data)), StorageError::kNone);
  }

  // Commits, closes, and checks what readers see.
  void CommitAndExpectReadersSee(std::unique_ptr<CompoundFile>& file, const std::string& path,
                                 const Listing& expected) {
    ASSERT_EQ(file->Commit(), StorageError::kNone);
    file.reset();
    ExpectReadersSee(path, expected);
  }

  // olefile must read `path` without complaint and see exactly `expected`, and so must we.
  // A file we committed to must also have a well-formed root tree.
  void ExpectReadersSee(const std::string& path, const Listing& expected,
                        bool written_by_us = true) {
    std::string complaint;
    Listing seen = test::ListWithOlefile(path, &complaint);
    EXPECT_EQ(complaint, "");
    if (written_by_us) {
      EXPECT_EQ(seen.root_tree_problems, "");
    }
    EXPECT_EQ(seen, expected);
    StorageError error;
    auto file = CompoundFile::Open(path, CompoundFile::Mode::kReadOnly, &error);
    ASSERT_TRUE(file) << static_cast<int>(error);
    Listing ours = test::ListWithUs(*file);
    // Sub-storages' own streams appear in olefile's listing only.
    std::erase_if(seen.streams, [](const auto& s) { return s.first.find(u'/') != s.first.npos; });
    std::erase_if(seen.storages, [](const auto& s) { return s.find(u'/') != s.npos; });
    EXPECT_EQ(ours, seen);
  }

  kb::test::TempDir dir_;
};

TEST_F(WriteTest, NewFileAppearsOnlyAtCommitAndReadsBackInOlefile) {
  const std::string path = Path("new.msi");
  StorageError error;
  auto file = CompoundFile::Create(path, kOtherClsid, &error);
  ASSERT_TRUE(file);
  Listing expected;
  expected.clsid = "0403020106050807090a0b0c0d0e0f10";
  // Mini streams at the mini sector edges, the cutoff edge, regular streams, an empty one.
  unsigned seed = 1;
  for (std::size_t size : {1u, 63u, 64u, 65u, 4095u, 4096u, 4097u, 100000u, 0u}) {
    Put(*file, expected, u"s" + std::u16string(1, char16_t(u'a' + seed)), TestBytes(size, seed));
    ++seed;
  }
  Put(*file, expected, u"\005SummaryInformation", TestBytes(400, 99));
  EXPECT_FALSE(std::filesystem::exists(path));
  // Reads see what is staged.
  EXPECT_EQ(file->StreamSize(u"sd"), 64u);
  EXPECT_EQ(file->ReadWholeStream(u"si", 1 << 20, &error), TestBytes(100000, 8));
  CommitAndExpectReadersSee(file, path, expected);
}

TEST_F(WriteTest, LargeFileNeedsDifatAndManyStreamsNeedManyDirectorySectors) {
  const std::string path = Path("large.msi");
  Listing expected;
  auto file = CreateInstallerFile(path, &expected);
  Put(*file, expected, u"big", TestBytes(10 << 20, 7));
  for (unsigned i = 0; i < 60; ++i) {
    Put(*file, expected, EncodeStreamName("Binary.Stream" + std::to_string(i), false),
        TestBytes(50 * i, i));
  }
  CommitAndExpectReadersSee(file, path, expected);
  ASSERT_GT(std::filesystem::file_size(path), 7u << 20);

  // Changing one small stream of the large file keeps every other stream, and the DIFAT.
  file = OpenForWriting(path);
  Put(*file, expected, u"Stream", TestBytes(300, 300));
  ASSERT_EQ(file->RemoveStream(EncodeStreamName("Binary.Stream3", false)), StorageError::kNone);
  expected.streams.erase(EncodeStreamName("Binary.Stream3", false));
  CommitAndExpectReadersSee(file, path, expected);
}

TEST_F(WriteTest, RepeatedCommitsKeepEverythingAndTheFileBounded) {
  const std::string path = Path("many.msi");
  Listing expected;
  auto file = CreateInstallerFile(path, &expected);
  Put(*file, expected, u"payload", TestBytes(300000, 1));
  ASSERT_EQ(file->Commit(), StorageError::kNone);
  std::uintmax_t largest = 0;
  for (unsigned round = 0; round < 40; ++round) {
    // A property-sized rewrite, a table that grows and shrinks, and a regular stream that
    // is replaced every time.
    Put(*file, expected, u"Property", TestBytes(200 + round, round));
    Put(*file, expected, u"Table", TestBytes(round % 2 ? 3000 : 40, round + 1000));
    Put(*file, expected, u"Cab", TestBytes(20000 + 512 * (round % 5), round + 2000));
    if (round % 3 == 0) Put(*file, expected, u"Added" + std::u16string(1, u'A' + round / 3), {});
    ASSERT_EQ(file->Commit(), StorageError::kNone);
    if (round >= 5) largest = std::max(largest, std::filesystem::file_size(path));
  }
  file.reset();
  ExpectReadersSee(path, expected);
  // Live data is about 330 KB; old copies are reused instead of piling up.
  EXPECT_LT(largest, 420000u);
}

TEST_F(WriteTest, UncommittedChangesNeverReachTheFile) {
  const std::string path = test::MakeMsibuildDatabase(dir_.path());
  ASSERT_FALSE(path.empty());
  const auto before = test::ReadFile(path);
  {
    auto file = OpenForWriting(path);
    const std::u16string small = EncodeStreamName("small", false);
    ASSERT_EQ(file->WriteStream(small, TestBytes(10, 10)), StorageError::kNone);
    ASSERT_EQ(file->RemoveStream(EncodeStreamName("Binary.big", false)), StorageError::kNone);
    EXPECT_EQ(file->StreamSize(small), 10u);
    EXPECT_FALSE(file->StreamSize(EncodeStreamName("Binary.big", false)));
    EXPECT_EQ(file->RemoveStream(EncodeStreamName("Binary.big", false)), StorageError::kNotFound);
  }
  EXPECT_EQ(test::ReadFile(path), before);
}

TEST_F(WriteTest, RefusesNamesTheFormatCannotHold) {
  StorageError error;
  auto file = CompoundFile::Create(Path("names.msi"), kInstallerDatabaseClsid, &error);
  EXPECT_EQ(file->WriteStream(std::u16string(32, u'x'), {}), StorageError::kBadName);
  EXPECT_EQ(file->WriteStream(u"", {}), StorageError::kBadName);
  EXPECT_EQ(file->WriteStream(u"a/b", {}), StorageError::kBadName);
  EXPECT_EQ(file->WriteStream(std::u16string(31, u'x'), {}), StorageError::kNone);
  EXPECT_EQ(file->WriteStreamFromFile(u"x", Path("missing")), StorageError::kIo);
}

TEST_F(WriteTest, NamesIgnoreLetterCase) {
  const std::string path = Path("case.msi");
  Listing expected;
  auto file = CreateInstallerFile(path, &expected);
  ASSERT_EQ(file->WriteStream(u"Name", TestBytes(10, 1)), StorageError::kNone);
  ASSERT_EQ(file->Commit(), StorageError::kNone);
  Put(*file, expected, u"NAME", TestBytes(20, 2));
  EXPECT_EQ(file->StreamNames(), std::vector<std::u16string>{u"NAME"});
  EXPECT_EQ(file->StreamSize(u"name"), 20u);
  CommitAndExpectReadersSee(file, path, expected);
}

TEST_F(WriteTest, StreamFromFileIsCopiedAtCommit) {
  const std::string path = Path("fromfile.msi");
  test::WriteFile(Path("source.bin"), TestBytes(700000, 5));
  StorageError error;
  auto file = CompoundFile::Create(path, kInstallerDatabaseClsid, &error);
  ASSERT_EQ(file->WriteStreamFromFile(u"cab", Path("source.bin")), StorageError::kNone);
  ASSERT_EQ(file->Commit(), StorageError::kNone);
  std::filesystem::remove(Path("source.bin"));
  EXPECT_EQ(file->ReadWholeStream(u"cab", 1 << 20, &error), TestBytes(700000, 5));
}

// Stages the compound file at `path` as sub-storage `name`, as the database does with a field.
StorageError StageStorageFile(CompoundFile& file, const std::u16string& name,
                              const std::string& path) {
  std::string problem;
  platform::UniqueFd fd = platform::OpenRegularFile(path, &problem);
  const auto stamp = StampOf(fd.get());
  return stamp ? file.WriteStorage(name, std::move(fd), *stamp) : StorageError::kIo;
}

// What a reader sees of `streams` and `storages` (one level) copied as storage `name`.
void ExpectTree(Listing& expected, const std::u16string& name,
                const std::vector<test::CraftedStream>& streams,
                const std::vector<test::CraftedStorage>& storages) {
  expected.storages.push_back(name);
  for (const auto& stream : streams) {
    expected.streams[name + u"/" + stream.name] = {stream.data.size(), test::Crc(stream.data)};
  }
  for (const auto& storage : storages)
    ExpectTree(expected, name + u"/" + storage.name, storage.streams, {});
  std::ranges::sort(expected.storages);
}

// Sub-storages are copied whole, replaced whole (their old sectors reused), refused where a
// stream has the name, and removed with everything below them.
TEST_F(WriteTest, SubStoragesAreCopiedReplacedAndRemovedWhole) {
  const std::string path = Path("storages.msi");
  const std::vector<test::CraftedStream> streams = {{u"small", TestBytes(100, 1)},
                                                    {u"large", TestBytes(70000, 2)}};
  const std::vector<test::CraftedStorage> below = {{u"Inner", {{u"deep", TestBytes(5000, 3)}}}};
  test::WriteFile(Path("a.cfb"), test::CraftCompoundFile(9, kOtherClsid, streams, below));
  test::WriteFile(Path("b.cfb"), test::CraftCompoundFile(12, kOtherClsid, {streams[0]}, {}));
  test::WriteFile(Path("plain.bin"), TestBytes(5000, 4));
  Listing expected;
  auto file = CreateInstallerFile(path, &expected);
  Put(*file, expected, u"root", TestBytes(300, 5));
  ASSERT_EQ(StageStorageFile(*file, u"T", Path("a.cfb")), StorageError::kNone);
  ExpectTree(expected, u"T", streams, below);
  EXPECT_EQ(file->StorageNames(), std::vector<std::u16string>{u"T"});
  EXPECT_EQ(file->WriteStream(u"t", {}), StorageError::kBadName);
  EXPECT_EQ(StageStorageFile(*file, u"ROOT", Path("b.cfb")), StorageError::kBadName);
  EXPECT_EQ(StageStorageFile(*file, u"X", Path("plain.bin")), StorageError::kCorrupt);
  EXPECT_EQ(file->RemoveStorage(u"root"), StorageError::kNotFound);
  CommitAndExpectReadersSee(file, path, expected);

  // Replaced over and over under another spelling: the file does not grow.
  file = OpenForWriting(path);
  std::uintmax_t first = 0;
  for (int round = 0; round < 4; ++round) {
    ASSERT_EQ(StageStorageFile(*file, u"t", Path(round % 2 ? "b.cfb" : "a.cfb")),
              StorageError::kNone);
    ASSERT_EQ(file->Commit(), StorageError::kNone);
    if (round == 0) first = std::filesystem::file_size(path);
  }
  EXPECT_LE(std::filesystem::file_size(path), first + 4096);
  std::erase_if(expected.streams, [](const auto& s) { return s.first.starts_with(u"T/"); });
  expected.storages.clear();
  ExpectTree(expected, u"t", {streams[0]}, {});
  file.reset();
  ExpectReadersSee(path, expected);

  // Removed, with a stream taking its name in the same commit.
  file = OpenForWriting(path);
  ASSERT_EQ(file->RemoveStorage(u"t"), StorageError::kNone);
  EXPECT_TRUE(file->StorageNames().empty());
  expected.streams.erase(u"t/small");
  expected.storages.clear();
  Put(*file, expected, u"t", TestBytes(10, 6));
  CommitAndExpectReadersSee(file, path, expected);
}

// A commit writes what changed: rewriting one small stream of a 2 MB file touches a handful
// of sectors.
TEST_F(WriteTest, SmallCommitRewritesFewSectors) {
  const std::string path = Path("delta.msi");
  StorageError error;
  auto file = CompoundFile::Create(path, kInstallerDatabaseClsid, &error);
  ASSERT_EQ(file->WriteStream(u"cab", TestBytes(2 << 20, 1)), StorageError::kNone);
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(file->WriteStream(u"t" + std::u16string(1, u'a' + i), TestBytes(500, i)),
              StorageError::kNone);
  }
  ASSERT_EQ(file->Commit(), StorageError::kNone);
  const auto before = test::ReadFile(path);
  ASSERT_EQ(file->WriteStream(u"tc", TestBytes(510, 77)), StorageError::kNone);
  ASSERT_EQ(file->Commit(), StorageError::kNone);
  const auto after = test::ReadFile(path);
  std::size_t changed = 0;
  for (std::size_t at = 512; at < std::max(before.size(), after.size()); at += 512) {
    const bool same =
        at + 512 <= before.size() && at + 512 <= after.size() &&
        std::equal(before.begin() + at, before.begin() + at + 512, after.begin() + at);
    changed += !same;
  }
  EXPECT_LE(changed, 8u);
  EXPECT_GE(changed, 3u);  // mini stream sector, mini FAT, directory, FAT
}

class PeerFileCommitTest : public WriteTest {
  void SetUp() override {
    if (const auto missing = kb::test::MissingTools({"olefile", "msibuild", "wixl", "msiinfo"}))
      GTEST_SKIP() << *missing;
  }
};

TEST_F(PeerFileCommitTest, MsibuildDatabaseStaysReadableByMsitools) {
  const std::string path = test::MakeMsibuildDatabase(dir_.path());
  ASSERT_FALSE(path.empty());
  std::string complaint;
  Listing expected = test::ListWithOlefile(path, &complaint);
  auto file = OpenForWriting(path);
  Put(*file, expected, EncodeStreamName("small", false), TestBytes(3000, 8));
  Put(*file, expected, EncodeStreamName("Binary.new", false), TestBytes(9000, 9));
  ASSERT_EQ(file->Commit(), StorageError::kNone);
  file.reset();
  ExpectReadersSee(path, expected);
  int status = 0;
  const std::string tables = test::RunCommand("msiinfo tables '" + path + "' 2>&1", &status);
  EXPECT_EQ(status, 0) << tables;
  EXPECT_NE(tables.find("Property"), std::string::npos) << tables;
  const std::string exported =
      test::RunCommand("msiinfo export '" + path + "' Property 2>&1", &status);
  EXPECT_EQ(status, 0) << exported;
  EXPECT_NE(exported.find("ProductName\tTest"), std::string::npos) << exported;
  const std::string streams = test::RunCommand("msiinfo streams '" + path + "' 2>&1", &status);
  EXPECT_NE(streams.find("Binary.new"), std::string::npos) << streams;
}

TEST_F(PeerFileCommitTest, SubStoragesAreKeptAcrossCommits) {
  const std::string path = Path("storages.msi");
  test::WriteFile(path,
                  test::CraftCompoundFile(
                      9, kInstallerDatabaseClsid,
                      {{u"root1", TestBytes(100, 1)}, {u"root2", TestBytes(5000, 2)}},
                      {{u"Sub", {{u"inner", TestBytes(200, 3)}, {u"large", TestBytes(9000, 4)}}},
                       {u"Empty", {}}}));
  std::string complaint;
  Listing expected = test::ListWithOlefile(path, &complaint);
  ASSERT_EQ(complaint, "");
  ASSERT_EQ(expected.streams.size(), 4u);
  auto file = OpenForWriting(path);
  EXPECT_EQ(file->StorageNames().size(), 2u);
  EXPECT_EQ(file->WriteStream(u"Sub", {}), StorageError::kBadName);
  for (int i = 0; i < 3; ++i) {
    Put(*file, expected, u"root1", TestBytes(150 + i, 10 + i));
    Put(*file, expected, u"added" + std::u16string(1, u'0' + i), TestBytes(6000, 20 + i));
    ASSERT_EQ(file->Commit(), StorageError::kNone);
  }
  file.reset();
  ExpectReadersSee(path, expected);
}

// Some writers do not mark the FAT's own sectors in the FAT. Those sectors must neither be
// reused nor cut off the end of the file when what follows them falls free.
TEST_F(PeerFileCommitTest, UnmarkedFatSectorsSurviveCommits) {
  const std::string path = Path("unmarked.msi");
  // 70,000 bytes need two FAT sectors; the crafted file puts them last. Swapped, the first
  // FAT sector is the file's last sector, and its entry (like the other's) is left free.
  auto bytes = test::CraftCompoundFile(
      9, kInstallerDatabaseClsid, {{u"a", TestBytes(100, 1)}, {u"big", TestBytes(70000, 2)}}, {});
  std::uint32_t first;
  std::memcpy(&first, bytes.data() + 0x4C, 4);
  const std::uint32_t second = first + 1;
  ASSERT_EQ(bytes.size(), (second + 2) * 512u);
  std::swap_ranges(bytes.begin() + (first + 1) * 512, bytes.begin() + (second + 1) * 512,
                   bytes.begin() + (second + 1) * 512);
  std::memcpy(bytes.data() + 0x4C, &second, 4);
  std::memcpy(bytes.data() + 0x50, &first, 4);
  // Both entries lie in the FAT sector covering sectors 128 to 255, now at `first`.
  ASSERT_GE(first, 128u);
  std::memset(bytes.data() + (first + 1) * 512 + 4 * (first % 128), 0xFF, 8);
  test::WriteFile(path, bytes);
  std::string complaint;
  Listing expected = test::ListWithOlefile(path, &complaint);
  ASSERT_EQ(expected.streams.size(), 2u);
  for (int round = 0; round < 4; ++round) {
    auto file = OpenForWriting(path);
    ASSERT_TRUE(file);
    Put(*file, expected, u"a", TestBytes(100, 10 + round));
    ASSERT_EQ(file->Commit(), StorageError::kNone);
    file.reset();
    ExpectReadersSee(path, expected, false);
  }
}

TEST_F(PeerFileCommitTest, FourKilobyteSectorFilesAreReadAndUpdated) {
  const std::string path = Path("v4.msi");
  test::WriteFile(
      path, test::CraftCompoundFile(
                12, kInstallerDatabaseClsid,
                {{u"mini", TestBytes(1000, 1)}, {u"regular", TestBytes(20000, 2)}, {u"empty", {}}},
                {{u"Sub", {{u"inner", TestBytes(10, 3)}}}}));
  std::string complaint;
  Listing expected = test::ListWithOlefile(path, &complaint);
  ASSERT_EQ(complaint, "");
  ASSERT_EQ(expected.streams.size(), 4u);
  ExpectReadersSee(path, expected, false);
  auto file = OpenForWriting(path);
  Put(*file, expected, u"mini", TestBytes(2000, 4));
  Put(*file, expected, u"new", TestBytes(50000, 5));
  CommitAndExpectReadersSee(file, path, expected);
}

}  // namespace
}  // namespace kb::msi

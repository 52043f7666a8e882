#include <gtest/gtest.h>

#include <cstring>

#include "msi/db/stream_name.h"
#include "msi/storage/compound_file.h"
#include "ole_oracle.h"
#include "peer_databases.h"
#include "test_support/needs.h"
#include "test_support/temp_dir.h"

namespace kb::msi {
namespace {

using test::ListWithOlefile;
using test::ListWithUs;

std::unique_ptr<CompoundFile> OpenOrFail(const std::string& path, StorageError* error) {
  return CompoundFile::Open(path, CompoundFile::Mode::kReadOnly, error);
}

class PeerDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const auto missing = kb::test::MissingTools({"msibuild", "wixl", "olefile"}))
      GTEST_SKIP() << *missing;
  }

  // Opens `path` (made by a peer) after checking that olefile reads it without complaint,
  // with `streams` streams, and that we list it exactly as olefile does. Null on failure.
  std::unique_ptr<CompoundFile> OpenListedAsOlefileLists(const std::string& path,
                                                         std::size_t streams) {
    std::string complaint;
    const test::Listing expected = ListWithOlefile(path, &complaint);
    EXPECT_EQ(complaint, "");
    EXPECT_EQ(expected.streams.size(), streams);
    StorageError error;
    auto file = OpenOrFail(path, &error);
    EXPECT_TRUE(file) << static_cast<int>(error);
    if (!file || !complaint.empty()) return nullptr;
    EXPECT_EQ(ListWithUs(*file), expected);
    return file;
  }

  kb::test::TempDir dir_;
};

TEST_F(PeerDatabaseTest, MsibuildDatabaseReadsAsOlefileReadsIt) {
  // 3 streams, 5 tables and the summary information.
  auto file = OpenListedAsOlefileLists(test::MakeMsibuildDatabase(dir_.path()), 9);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->clsid(), kInstallerDatabaseClsid);
  // The installer's folded names, as msibuild wrote them.
  EXPECT_EQ(file->StreamSize(EncodeStreamName("Binary.big", false)), 10000u);
  EXPECT_EQ(file->StreamSize(EncodeStreamName("Binary.edge", false)), 4096u);
  EXPECT_EQ(file->StreamSize(EncodeStreamName("small", false)), 100u);
  EXPECT_TRUE(file->StreamSize(EncodeStreamName("Property", true)));
  EXPECT_TRUE(file->StreamSize(u"\005SummaryInformation"));
}

TEST_F(PeerDatabaseTest, WixlDatabaseReadsAsOlefileReadsIt) {
  auto file = OpenListedAsOlefileLists(test::MakeWixlDatabase(dir_.path()), 19);
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->StreamSize(EncodeStreamName("prod.cab", false)));
}

TEST_F(PeerDatabaseTest, ReadsInPiecesAcrossSectorBoundaries) {
  const std::string path = test::MakeMsibuildDatabase(dir_.path());
  ASSERT_FALSE(path.empty());
  StorageError error;
  auto file = OpenOrFail(path, &error);
  ASSERT_TRUE(file);
  for (const char* name : {"Binary.big", "small"}) {
    const std::u16string stored = EncodeStreamName(name, false);
    const auto whole = file->ReadWholeStream(stored, 1 << 20, &error);
    ASSERT_TRUE(whole);
    // Odd piece sizes start and end inside sectors and mini sectors; the last read is short.
    for (std::size_t piece : {1u, 63u, 65u, 511u, 513u, 3000u}) {
      std::vector<std::byte> joined;
      std::vector<std::byte> buffer(piece);
      for (std::uint64_t at = 0;;) {
        const auto n = file->ReadStream(stored, at, buffer, &error);
        ASSERT_TRUE(n);
        joined.insert(joined.end(), buffer.begin(), buffer.begin() + *n);
        at += *n;
        if (*n < piece) break;
      }
      EXPECT_EQ(joined, *whole) << name << " in pieces of " << piece;
    }
  }
  EXPECT_FALSE(file->ReadWholeStream(EncodeStreamName("Binary.big", false), 9999, &error));
  EXPECT_EQ(error, StorageError::kTooLarge);
  std::byte b;
  EXPECT_FALSE(file->ReadStream(u"missing", 0, {&b, 1}, &error));
  EXPECT_EQ(error, StorageError::kNotFound);
}

TEST_F(PeerDatabaseTest, ReadOnlyFileRefusesChangesAndIsNotWritten) {
  const std::string path = test::MakeMsibuildDatabase(dir_.path());
  ASSERT_FALSE(path.empty());
  const auto before = test::ReadFile(path);
  StorageError error;
  auto file = OpenOrFail(path, &error);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->WriteStream(u"x", {}), StorageError::kReadOnly);
  EXPECT_EQ(file->RemoveStream(EncodeStreamName("small", false)), StorageError::kReadOnly);
  EXPECT_EQ(file->Commit(), StorageError::kReadOnly);
  file.reset();
  EXPECT_EQ(test::ReadFile(path), before);
}

// Damaged copies of a real database: each must be refused as corrupt, not crash or hang.
class DamagedFileTest : public PeerDatabaseTest {
 protected:
  void SetUp() override {
    if (const auto missing = kb::test::MissingTools({"msibuild"})) GTEST_SKIP() << *missing;
    const std::string path = test::MakeMsibuildDatabase(dir_.path());
    ASSERT_FALSE(path.empty());
    bytes_ = test::ReadFile(path);
  }
  std::uint32_t U32(std::size_t at) const {
    std::uint32_t v;
    std::memcpy(&v, bytes_.data() + at, 4);
    return v;
  }
  void SetU32(std::size_t at, std::uint32_t v) { std::memcpy(bytes_.data() + at, &v, 4); }
  std::size_t SectorAt(std::uint32_t sector) const { return (sector + 1) * 512u; }
  std::size_t FatEntry(std::uint32_t sector) const { return SectorAt(U32(0x4C)) + 4 * sector; }
  std::size_t RootEntry() const { return SectorAt(U32(0x30)); }

  StorageError OpenDamaged() {
    const auto path = dir_.path() / "damaged.msi";
    test::WriteFile(path, bytes_);
    StorageError error = StorageError::kNone;
    auto file = OpenOrFail(path.string(), &error);
    if (file) {
      // Whatever opened must still read without harm; a read may fail, which sets `error`.
      for (const auto& name : file->StreamNames()) {
        (void)file->ReadWholeStream(name, 1 << 24, &error);
      }
    }
    return error;
  }

  std::vector<std::byte> bytes_;
};

TEST_F(DamagedFileTest, TruncatedFileIsCorrupt) {
  const std::vector<std::byte> whole = bytes_;
  for (std::size_t size :
       {std::size_t{0}, std::size_t{100}, std::size_t{512}, whole.size() / 2, whole.size() - 1}) {
    bytes_.assign(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_EQ(OpenDamaged(), StorageError::kCorrupt) << size;
  }
}

TEST_F(DamagedFileTest, CyclicDirectoryChainIsCorrupt) {
  SetU32(FatEntry(U32(0x30)), U32(0x30));
  EXPECT_EQ(OpenDamaged(), StorageError::kCorrupt);
}

TEST_F(DamagedFileTest, ChainOutOfRangeIsCorrupt) {
  SetU32(FatEntry(U32(0x30)), 0x00FFFFFF);
  EXPECT_EQ(OpenDamaged(), StorageError::kCorrupt);
}

TEST_F(DamagedFileTest, FatCountBeyondTheFileIsCorrupt) {
  SetU32(0x2C, 0x7FFFFFFF);
  EXPECT_EQ(OpenDamaged(), StorageError::kCorrupt);
}

TEST_F(DamagedFileTest, DirectoryCycleIsCorrupt) {
  const std::uint32_t child = U32(RootEntry() + 0x4C);
  SetU32(RootEntry() + 128 * child + 0x44, child);  // the root's child is its own left sibling
  EXPECT_EQ(OpenDamaged(), StorageError::kCorrupt);
}

TEST_F(DamagedFileTest, AbsurdStreamSizeIsCorrupt) {
  const std::uint32_t child = U32(RootEntry() + 0x4C);
  SetU32(RootEntry() + 128 * child + 0x78, 0xFFFFFFF0);
  EXPECT_EQ(OpenDamaged(), StorageError::kCorrupt);
}

TEST_F(DamagedFileTest, WrongSignatureOrVersionIsCorrupt) {
  bytes_[0] = std::byte{0};
  EXPECT_EQ(OpenDamaged(), StorageError::kCorrupt);
  SetUp();
  bytes_[0x1A] = std::byte{4};  // version 4 with 512-byte sectors
  EXPECT_EQ(OpenDamaged(), StorageError::kCorrupt);
}

TEST(OpenTest, MissingFileIsNotFound) {
  StorageError error;
  EXPECT_FALSE(OpenOrFail("/nonexistent/file.msi", &error));
  EXPECT_EQ(error, StorageError::kNotFound);
}

}  // namespace
}  // namespace kb::msi

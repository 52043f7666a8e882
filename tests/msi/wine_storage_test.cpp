#include <gtest/gtest.h>

#include "msi/db/stream_name.h"
#include "msi/storage/compound_file.h"
#include "ole_oracle.h"
#include "peer_databases.h"
#include "test_support/needs.h"
#include "test_support/temp_dir.h"

namespace kb::msi {
namespace {

using test::Listing;
using test::TestBytes;

// Windows finds a stream by searching the sibling tree, not by reading every entry as
// olefile and msitools do: only a correctly ordered tree lets it open each one by name.
TEST(WineStorageTest, WindowsStructuredStorageOpensEveryStreamByName) {
  if (const auto missing = kb::test::MissingTools({"wine", "x86_64-w64-mingw32-gcc"}))
    GTEST_SKIP() << *missing;
  kb::test::TempDir dir;
  const std::string path = (dir.path() / "ours.msi").string();
  StorageError error;
  auto file = CompoundFile::Create(path, kInstallerDatabaseClsid, &error);
  Listing expected;
  expected.clsid = "000c108400000000c000000000000046";
  const auto put = [&](const std::u16string& name, std::vector<std::byte> data) {
    expected.streams[name] = {data.size(), test::Crc(data)};
    ASSERT_EQ(file->WriteStream(name, std::move(data)), StorageError::kNone);
  };
  // Names of many lengths, in both letter cases, folded and plain, across several commits
  // that add and remove streams.
  for (unsigned i = 0; i < 70; ++i) {
    const std::string n = std::to_string(i * 7919 % 1000);
    put(EncodeStreamName((i % 2 ? "Binary." : "icon") + n, i % 5 == 0), TestBytes(i * 97, i));
    put(std::u16string(n.begin(), n.end()) + (i % 3 ? u"abc" : u"ABD"), TestBytes(i, i + 1));
    if (i % 20 == 19) {
      ASSERT_EQ(file->Commit(), StorageError::kNone);
    }
  }
  for (auto it = expected.streams.begin(); it != expected.streams.end();) {
    if (it->second.size % 3 != 0) {
      ++it;
      continue;
    }
    ASSERT_EQ(file->RemoveStream(it->first), StorageError::kNone);
    it = expected.streams.erase(it);
  }
  put(u"\005SummaryInformation", TestBytes(300, 3));
  ASSERT_EQ(file->Commit(), StorageError::kNone);
  file.reset();

  std::string complaint;
  const Listing seen = test::ListWithWine(path, dir.path().string(), &complaint);
  EXPECT_EQ(complaint, "");
  EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace kb::msi

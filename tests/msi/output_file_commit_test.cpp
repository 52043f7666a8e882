// A compound file opened with an output file: every write and sync of its first commit fails in
// turn, as a full or failing disk would; the file read from never changes, the output appears
// only whole, nothing is left behind, and the commit can be tried again.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "failing_syscalls.h"
#include "msi/storage/compound_file.h"
#include "test_support/temp_dir.h"
#include "test_support/text_file.h"

namespace kb::msi {
namespace {

std::vector<std::byte> Bytes(std::size_t size, char fill) {
  return std::vector<std::byte>(size, static_cast<std::byte>(fill));
}

TEST(OutputFileCommitTest, FailedCallsLeaveTheSourceAndNoOutput) {
  using test::Syscall;
  kb::test::TempDir dir;
  const std::string source = (dir.path() / "source.msi").string();
  const std::string output = (dir.path() / "output.msi").string();
  StorageError error = StorageError::kNone;
  {
    auto file = CompoundFile::Create(source, kInstallerDatabaseClsid, &error);
    ASSERT_EQ(file->WriteStream(u"kept", Bytes(10000, 'k')), StorageError::kNone);
    ASSERT_EQ(file->Commit(), StorageError::kNone);
  }
  const std::string original = kb::test::ReadText(source);
  int failures = 0;
  for (const Syscall call : {Syscall::kWrite, Syscall::kSync}) {
    for (int ordinal = 0; ordinal < 1000; ++ordinal) {
      const std::string trial = "call kind " + std::to_string(static_cast<int>(call)) +
                                ", number " + std::to_string(ordinal);
      std::filesystem::remove(output);
      auto file = CompoundFile::OpenWithOutput(source, output, &error);
      ASSERT_TRUE(file) << trial;
      ASSERT_EQ(file->WriteStream(u"added", Bytes(70000, 'a')), StorageError::kNone);
      test::FailNth(call, ordinal);
      const StorageError committed = file->Commit();
      const int calls = test::StopFailing();
      EXPECT_EQ(kb::test::ReadText(source), original) << trial;
      if (committed != StorageError::kNone) {
        ++failures;
        EXPECT_FALSE(file->failed()) << trial;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                                std::filesystem::directory_iterator()),
                  1)
            << trial << ": only the source is there";
        ASSERT_EQ(file->Commit(), StorageError::kNone) << trial << ", tried again";
      }
      file.reset();
      auto written = CompoundFile::Open(output, CompoundFile::Mode::kReadOnly, &error);
      ASSERT_TRUE(written) << trial;
      EXPECT_EQ(written->StreamSize(u"kept"), 10000u) << trial;
      EXPECT_EQ(written->StreamSize(u"added"), 70000u) << trial;
      if (calls <= ordinal) break;  // the commit made no more calls of this kind
    }
  }
  EXPECT_GT(failures, 2);
}

}  // namespace
}  // namespace kb::msi

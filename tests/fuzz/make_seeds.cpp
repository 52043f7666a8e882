// Writes seed files for the fuzzers into the folder given as argument: databases made by
// msitools' msibuild and wixl and by our own engine, compound files made by our own writer
// (after a few commits) and hand-made ones with 4,096-byte sectors and sub-storages. The
// files the peers work with stay in a scratch folder; only the seeds reach the folder given.
#include <filesystem>
#include <string>

#include "../msi/crafted_file.h"
#include "../msi/peer_databases.h"
#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"
#include "msi/storage/compound_file.h"
#include "platform/scratch_folder.h"

using kb::msi::CompoundFile;
using kb::msi::StorageError;
using kb::msi::test::TestBytes;

namespace {

bool Run(MSIHANDLE database, const char* sql, MSIHANDLE parameters = 0) {
  kb::msi::ScopedHandle view;
  return MsiDatabaseOpenViewA(database, sql, view.Receive()) == ERROR_SUCCESS &&
         MsiViewExecute(view.get(), parameters) == ERROR_SUCCESS;
}

// A database of our own with every column type, nulls, a stream column, a `_Streams` entry, a
// temporary-free catalog of several tables, and summary information.
bool MakeOwnDatabase(const std::string& dir) {
  const std::string path = dir + "/ours.msi";
  kb::msi::ScopedHandle database;
  if (MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_CREATE, database.Receive()) != ERROR_SUCCESS) {
    return false;
  }
  kb::msi::test::WriteFile(dir + "/stream.bin", TestBytes(3000, 9));
  kb::msi::ScopedHandle record(MsiCreateRecord(1));
  MsiRecordSetStreamA(record.get(), 1, (dir + "/stream.bin").c_str());
  kb::msi::ScopedHandle summary;
  bool ok =
      Run(database.get(),
          "CREATE TABLE `Kinds` (`Key` CHAR(72) NOT NULL, `Short` SHORT, `Long` LONG NOT NULL, "
          "`Text` LONGCHAR LOCALIZABLE, `Data` OBJECT PRIMARY KEY `Key`, `Long`)") &&
      Run(database.get(),
          "INSERT INTO `Kinds` (`Key`, `Short`, `Long`, `Text`) "
          "VALUES ('a', 1, -5, 'some text')") &&
      Run(database.get(), "INSERT INTO `Kinds` (`Key`, `Long`) VALUES ('b', 2147483647)") &&
      Run(database.get(), "INSERT INTO `Kinds` (`Key`, `Long`, `Data`) VALUES ('c', 0, ?)",
          record.get()) &&
      Run(database.get(),
          "CREATE TABLE `Property` (`Property` CHAR(72) NOT NULL, "
          "`Value` LONGCHAR NOT NULL PRIMARY KEY `Property`)") &&
      Run(database.get(), "INSERT INTO `Property` (`Property`, `Value`) VALUES ('A', 'B')") &&
      Run(database.get(), "INSERT INTO `_Streams` (`Name`, `Data`) VALUES ('Loose', ?)",
          record.get()) &&
      MsiGetSummaryInformationA(database.get(), nullptr, 5, summary.Receive()) == ERROR_SUCCESS &&
      MsiSummaryInfoSetPropertyA(summary.get(), PID_TITLE, VT_LPSTR, 0, nullptr, "Seed") ==
          ERROR_SUCCESS &&
      MsiSummaryInfoSetPropertyA(summary.get(), PID_PAGECOUNT, VT_I4, 200, nullptr, nullptr) ==
          ERROR_SUCCESS &&
      MsiSummaryInfoPersist(summary.get()) == ERROR_SUCCESS;
  return ok && MsiDatabaseCommit(database.get()) == ERROR_SUCCESS;
}

// Makes every seed in `dir`; false when one could not be made.
bool MakeSeeds(const std::string& dir) {
  StorageError error;
  auto file = CompoundFile::Create(dir + "/ours.cfb", kb::msi::kInstallerDatabaseClsid, &error);
  if (!file) return false;
  for (unsigned i = 0; i < 12; ++i) {
    if (file->WriteStream(u"stream" + std::u16string(1, u'a' + i), TestBytes(i * 700, i)) !=
            StorageError::kNone ||
        (i % 4 == 3 && file->Commit() != StorageError::kNone)) {
      return false;
    }
  }
  if (file->RemoveStream(u"streamb") != StorageError::kNone ||
      file->Commit() != StorageError::kNone) {
    return false;
  }
  for (int shift : {9, 12}) {
    kb::msi::test::WriteFile(
        dir + "/crafted" + std::to_string(shift) + ".cfb",
        kb::msi::test::CraftCompoundFile(
            shift, kb::msi::kInstallerDatabaseClsid,
            {{u"a", TestBytes(100, 1)}, {u"b", TestBytes(5000, 2)}, {u"c", {}}},
            {{u"Sub", {{u"inner", TestBytes(300, 3)}, {u"big", TestBytes(4100, 4)}}}}));
  }
  return MakeOwnDatabase(dir) && !kb::msi::test::MakeMsibuildDatabase(dir).empty() &&
         !kb::msi::test::MakeWixlDatabase(dir).empty();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const kb::platform::ScratchFolder work;
  if (work.path().empty() || !MakeSeeds(work.path().string())) return 1;
  namespace fs = std::filesystem;
  std::error_code error;
  fs::create_directories(argv[1], error);
  for (const auto& entry : fs::directory_iterator(work.path())) {
    const fs::path name = entry.path().filename();
    if (name.extension() != ".msi" && name.extension() != ".cfb") continue;
    fs::copy_file(entry.path(), fs::path(argv[1]) / name, fs::copy_options::overwrite_existing,
                  error);
    if (error) return 1;
  }
  return 0;
}

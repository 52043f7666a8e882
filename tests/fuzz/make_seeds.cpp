// Writes seed files for the compound file fuzzer into the folder given as argument: databases
// made by msitools' msibuild and wixl, files made by our own writer (after a few commits) and
// hand-made ones with 4,096-byte sectors and sub-storages.
#include <string>

#include "../msi/crafted_file.h"
#include "../msi/peer_databases.h"
#include "msi/compound_file.h"

using kb::msi::CompoundFile;
using kb::msi::StorageError;
using kb::msi::test::TestBytes;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  StorageError error;
  auto file = CompoundFile::Create(dir + "/ours.cfb", kb::msi::kInstallerDatabaseClsid, &error);
  for (unsigned i = 0; i < 12; ++i) {
    file->WriteStream(u"stream" + std::u16string(1, u'a' + i), TestBytes(i * 700, i));
    if (i % 4 == 3 && file->Commit() != StorageError::kNone) return 1;
  }
  file->RemoveStream(u"streamb");
  if (file->Commit() != StorageError::kNone) return 1;
  for (int shift : {9, 12}) {
    kb::msi::test::WriteFile(
        dir + "/crafted" + std::to_string(shift) + ".cfb",
        kb::msi::test::CraftCompoundFile(
            shift, kb::msi::kInstallerDatabaseClsid,
            {{u"a", TestBytes(100, 1)}, {u"b", TestBytes(5000, 2)}, {u"c", {}}},
            {{u"Sub", {{u"inner", TestBytes(300, 3)}, {u"big", TestBytes(4100, 4)}}}}));
  }
  return kb::msi::test::MakeMsibuildDatabase(dir).empty() ||
                 kb::msi::test::MakeWixlDatabase(dir).empty()
             ? 1
             : 0;
}

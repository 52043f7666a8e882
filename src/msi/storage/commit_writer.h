#ifndef KITBINDER_MSI_STORAGE_COMMIT_WRITER_H_
#define KITBINDER_MSI_STORAGE_COMMIT_WRITER_H_

#include <map>
#include <string>

#include "msi/storage/cfb_format.h"
#include "msi/storage/compound_file.h"
#include "msi/storage/layout.h"
#include "msi/storage/staged_storage.h"
#include "msi/storage/staged_stream.h"

namespace kb::msi {

using StagedMap = std::map<std::u16string, StagedStream, cfb::NameLess>;
using StagedStorageMap = std::map<std::u16string, StagedStorage, cfb::NameLess>;

// Writes one commit by shadow paging. Every sector that changes (stream data, mini stream,
// mini FAT, directory, FAT, DIFAT) goes to a sector that the committed state does not use,
// appending to the file where needed; then the file is synced, the header is rewritten in
// place with one write, and the file is synced again. Until that header write the file holds
// the committed state; after it, the new one.
//
// Storages in `storages` replace or remove whatever the root holds under their names (a
// storage is replaced whole, with everything below it), then streams in `staged` replace or
// remove the root's streams of the same names; everything else stays where it is.
//
// On failure *header_tried tells whether the header write had begun: if it had, the file may
// already hold the new state (a failed sync says nothing of what reached the disk), so
// `committed` no longer describes it for certain; if not, the file still holds `committed`
// with perhaps some sectors appended.
//
// REQUIRES: `committed` describes the file open on `fd` (for a new file: no sectors yet);
// every name in `staged` and `storages` is valid; no stream of `staged` names a storage that
// stays, and no name is in both maps unless one of the two is a removal.
StorageError WriteCommit(int fd, const Layout& committed, const StagedMap& staged,
                         const StagedStorageMap& storages, Layout* next, bool* header_tried);

// Shortens the file to the last sector `layout` uses. Safe only once `layout` is committed.
StorageError TrimFile(int fd, const Layout& layout);

}  // namespace kb::msi

#endif  // KITBINDER_MSI_STORAGE_COMMIT_WRITER_H_

#ifndef KITBINDER_PACKAGE_FILE_PACKING_H_
#define KITBINDER_PACKAGE_FILE_PACKING_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cabinet/builder/cabinet_builder.h"
#include "package/folder_tree.h"
#include "package/staged_cabinet.h"
#include "project/project_settings.h"

namespace kb {

// What PackFiles packed into the cabinets of a StagedCabinet.
struct PackedFiles {
  // The bytes the cabinets hold of each file, in cabinet order (a file that changed meanwhile
  // is installed as it was packed).
  std::vector<std::uint32_t> sizes;
  // For each cabinet of the set, in order: how many files begin in it or before it, the
  // sequence number of the last file it holds.
  std::vector<int> last_sequences;
};

// Gives every file row of `settings` its missing file key, component key and component GUID and
// packs the files into `cabinet` (CheckProject has found them there), each under its file key,
// in as many cabinets of at most `options.max_cabinet_size` bytes as they need, each file in one
// of them (one alone larger than that in a cabinet of its own); a folder row (one with a tree in
// `trees`, by list position) contributes its tree's files in the tree's order, and has no keys
// of its own. Returns the failure text for the user, first line as the build reports it
// ("Failed to add file " + path, or "Cab file creation failed : " + the builder's text) and the
// cause on the next line; nullopt when the cabinets hold every file, with *packed saying how.
// A file that no longer exists once the cabinets are made fails. Relative paths are found in
// `project_folder`; the texts name them as the project does. The cabinet builder runs with
// `options`, writing in the cabinet's folder; each cabinet's data is kept apart in `cabinet`.
// REQUIRES: cabinet.valid().
[[nodiscard]] std::optional<std::string> PackFiles(CProjectSettings& settings,
                                                   const std::string& project_folder,
                                                   const FolderTrees& trees, StagedCabinet& cabinet,
                                                   cabinet::CabinetRunOptions options,
                                                   PackedFiles* packed);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_FILE_PACKING_H_

#include "package/file_packing.h"

#include <cerrno>
#include <system_error>

#include "cabinet/builder/cabinet_builder.h"
#include "package/cabinet_contents.h"
#include "package/file_kinds.h"
#include "package/identifiers.h"
#include "platform/regular_file.h"
#include "platform/temp_name.h"
#include "project/path_in_project.h"

namespace kb {
namespace {

constexpr char kCabinetFailed[] = "Cab file creation failed : ";

std::string ErrorText(int error) {
  return std::generic_category().message(error);
}

// A file the cabinet holds: its path as the project shows it, where it is read, and its key.
struct CabinetEntry {
  std::string shown;
  std::string source;
  const std::string* key;
};

// The files of `settings` in cabinet order: the rows in list order, a folder row by its tree.
std::vector<CabinetEntry> CabinetEntries(const CProjectSettings& settings,
                                         const std::string& project_folder,
                                         const FolderTrees& trees) {
  std::vector<CabinetEntry> entries;
  for (std::size_t i = 0; i < settings.files.size(); ++i) {
    const ProjectFileEntry& file = settings.files[i];
    const auto tree = trees.find(i);
    if (tree == trees.end()) {
      entries.push_back({file.path, PathInProject(project_folder, file.path), &file.id});
      continue;
    }
    for (const TreeFile& tree_file : tree->second.files) {
      entries.push_back({tree_file.source, tree_file.source, &tree_file.key});
    }
  }
  return entries;
}

// Why the cabinet could not be made, as far as the files tell: the first that cannot be
// opened, or else the folders the cabinet writer writes in.
std::string CabinetFailureCause(const std::vector<CabinetEntry>& entries) {
  for (const CabinetEntry& entry : entries) {
    std::string problem;
    if (!platform::OpenRegularFile(entry.source, &problem).valid()) {
      return "Cannot read " + entry.shown + " (" + ErrorText(errno) +
             "): make it readable or remove it from the project";
    }
  }
  return "Check that the project folder and the temporary folder " +
         platform::TempFolder().value_or("") + " can be written and have free space";
}

// What the `cabinets` cabinets of `cabinet` hold of `entries`: each entry's record, in their
// order, and where each cabinet ends; nullopt when they do not hold every file so.
std::optional<PackedFiles> PackedContents(const std::vector<CabinetEntry>& entries,
                                          const StagedCabinet& cabinet, int cabinets) {
  PackedFiles packed;
  for (int number = 1; number <= cabinets; ++number) {
    const auto records = CabinetFileRecords(cabinet.path(number));
    if (!records) return std::nullopt;
    for (const CabinetFileRecord& record : *records) {
      if (record.continued) continue;
      const std::size_t index = packed.sizes.size();
      if (index == entries.size() || record.name != *entries[index].key) return std::nullopt;
      packed.sizes.push_back(record.size);
    }
    packed.last_sequences.push_back(static_cast<int>(packed.sizes.size()));
  }
  if (packed.sizes.size() != entries.size()) return std::nullopt;
  return packed;
}

}  // namespace

std::optional<std::string> PackFiles(CProjectSettings& settings, const std::string& project_folder,
                                     const FolderTrees& trees, StagedCabinet& cabinet,
                                     cabinet::CabinetRunOptions options, PackedFiles* packed) {
  if (cabinet.folder().size() > cabinet::kMaxCabinetFolderLength) {
    return std::string(kCabinetFailed) + "the path of the project folder " + project_folder +
           " is longer than the " + std::to_string(cabinet::kMaxCabinetFolderLength) +
           " characters the cabinet writer takes\nMove the project to a shorter path";
  }
  cabinet::CabinetBuilder builder;
  // The staged prefix is short, so only memory can run out.
  if (!builder.SetCabinetName(cabinet.prefix()))
    return std::string(kCabinetFailed) + "out of memory";
  options.folder = cabinet.folder();
  options.whole_folders = true;
  options.data_apart = true;
  builder.SetRunOptions(std::move(options));
  for (std::size_t i = 0; i < settings.files.size(); ++i) {
    ProjectFileEntry& file = settings.files[i];
    if (trees.contains(i)) continue;
    if (file.id.empty()) file.id = NewKeyText();
    if (file.componentid.empty()) file.componentid = NewKeyText();
    if (file.componentguid.empty()) file.componentguid = NewGuidText();
  }
  const std::vector<CabinetEntry> entries = CabinetEntries(settings, project_folder, trees);
  // Added only once every file is known to be there: a builder discarded before CreateCabinet
  // makes its cabinet all the same.
  for (const CabinetEntry& entry : entries) builder.AddFile(entry.source, *entry.key);
  if (!builder.CreateCabinet()) {
    return kCabinetFailed + builder.LastError() + CabinetFailureCause(entries);
  }
  for (const CabinetEntry& entry : entries) {
    if (SourceFileProblem(entry.source)) {
      return "Failed to add file " + entry.shown + "\n" + entry.shown +
             " was removed while the files were packed: put it back, or remove it from the "
             "project, and build again";
    }
  }
  auto contents = PackedContents(entries, cabinet, builder.LastCabinetNumber());
  if (!contents) {
    return std::string(kCabinetFailed) +
           "the cabinets do not hold every file\nThe disk may have failed: build again";
  }
  cabinet.KeepData(builder.TakeCabinetData());
  *packed = std::move(*contents);
  return std::nullopt;
}

}  // namespace kb

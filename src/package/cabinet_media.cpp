#include "package/cabinet_media.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/replacement_file.h"

namespace kb {
namespace {

// The stream of cabinet `number`: "Instal01.cab" as the templates have always named the one
// cabinet, two digits at least after it.
std::string StreamName(int number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%02d", number);
  return "Instal" + std::string(digits) + ".cab";
}

std::string ExternalName(std::string_view title, int number) {
  return std::string(title) + std::to_string(number) + ".cab";
}

// Makes cabinet `number` of `cabinet`, its file and its data, the new stream `name` of the
// package: its data is written once, there.
bool StoreStream(CInstallerDatabase& database, const std::string& name,
                 const StagedCabinet& cabinet, int number) {
  bool stored = false;
  if (database.Execute("insert into `_Streams` (`Name`) values(?)", {name}) &&
      database.Execute("select `Name`,`Data` from `_Streams` where `Name`=?", {name})) {
    stored = database.Fetch() &&
             database.SetJoinedStreamAndUpdate(2, cabinet.path(number), cabinet.data_file(number),
                                               cabinet.data_size(number));
    database.CloseView();
  }
  return stored;
}

bool WriteMediaRow(CInstallerDatabase& database, int disk, int last_sequence,
                   const std::string& cabinet) {
  const bool written =
      disk == 1
          ? database.Execute("update `Media` set `LastSequence`=?, `Cabinet`=? where `DiskId`=1",
                             {last_sequence, cabinet})
          : database.Execute(
                "insert into `Media` (`DiskId`,`LastSequence`,`Cabinet`) values(?,?,?)",
                {disk, last_sequence, cabinet});
  database.CloseView();
  return written;
}

}  // namespace

std::string MediaCabinetName(bool embedded, std::string_view title, int number) {
  return embedded ? "#" + StreamName(number) : ExternalName(title, number);
}

bool EmbedsCabinets(bool external, const std::string& package, const StagedCabinet& cabinet,
                    int count) {
  if (external) return false;
  // A size that cannot be read counts as none: the build fails on that file soon enough.
  const auto size_of = [](const std::string& path) -> std::uint64_t {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
  };
  std::uint64_t size = size_of(package);
  for (int number = 1; number <= count; ++number) size += cabinet.size(number);
  return size <= kMaxEmbeddingPackageSize;
}

std::optional<std::string> AddCabinets(CInstallerDatabase& database, const StagedCabinet& cabinet,
                                       const std::vector<int>& last_sequences,
                                       std::string_view title, bool embedded) {
  for (std::size_t i = 0; i < last_sequences.size(); ++i) {
    const int number = static_cast<int>(i + 1);
    if (embedded && !StoreStream(database, StreamName(number), cabinet, number)) {
      return "The cabinet could not be stored in the package";
    }
    if (!WriteMediaRow(database, number, last_sequences[i],
                       MediaCabinetName(embedded, title, number))) {
      return "Could not write the Media row of the cabinet " +
             MediaCabinetName(embedded, title, number);
    }
  }
  return std::nullopt;
}

std::optional<std::string> PlaceExternalCabinets(StagedCabinet& cabinet, int count,
                                                 const std::string& package_path,
                                                 std::string_view title) {
  const std::filesystem::path folder = std::filesystem::path(package_path).parent_path();
  for (int number = 1; number <= count; ++number) {
    const std::string target = (folder / ExternalName(title, number)).string();
    if (!cabinet.JoinData(number) || !platform::MoveIntoPlace(cabinet.path(number), target)) {
      return "The cabinet " + target + " could not be written beside the package (" +
             std::generic_category().message(errno) +
             ")\nMake the folder writable and free some space there, then build again";
    }
  }
  return std::nullopt;
}

std::vector<std::string> ExternalCabinetNames(std::string_view title, int count) {
  std::vector<std::string> names;
  for (int number = 1; number <= count; ++number) names.push_back(ExternalName(title, number));
  return names;
}

}  // namespace kb

#ifndef KITBINDER_PACKAGE_CABINET_MEDIA_H_
#define KITBINDER_PACKAGE_CABINET_MEDIA_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "package/installer_database.h"
#include "package/staged_cabinet.h"

namespace kb {

// Where the cabinets of a package go: into the package as the streams "Instal01.cab",
// "Instal02.cab", ... or beside it as the files "<title>1.cab", "<title>2.cab", ... (external
// cabinets, which must ship with it); and the Media rows, one per cabinet, that tell the
// installer which files each holds.

// The largest package whose cabinets are embedded. Windows Installer reads packages of up to
// 2 GB; the line is drawn lower so that the tables and the installer's own copy have room.
inline constexpr std::uint64_t kMaxEmbeddingPackageSize = 1800000000;

// The Media table's name of cabinet `number` (counted from 1): "#" and the stream's name when
// `embedded`, else the file's name, after `title`.
std::string MediaCabinetName(bool embedded, std::string_view title, int number);

// Whether the `count` cabinets of `cabinet` go into the package: unless `external` (the project
// asks for external cabinets) or they would take the package, now the file `package`, past
// kMaxEmbeddingPackageSize.
bool EmbedsCabinets(bool external, const std::string& package, const StagedCabinet& cabinet,
                    int count);

// Stores cabinet n of `cabinet` (n from 1 to the size of `last_sequences`) as a stream of the
// package when `embedded`, and gives each its Media row: DiskId n, LastSequence the n-th of
// `last_sequences`, Cabinet its MediaCabinetName. The template's row 1 is updated, the others
// added. Returns the failure's first line, or nullopt.
std::optional<std::string> AddCabinets(CInstallerDatabase& database, const StagedCabinet& cabinet,
                                       const std::vector<int>& last_sequences,
                                       std::string_view title, bool embedded);

// Joins each of the `count` cabinets of `cabinet` with its data and moves it beside the package
// `package_path` under its external name, replacing files of that name. Returns the failure for the
// user (what failed, then the cause), or nullopt when every cabinet is in place.
std::optional<std::string> PlaceExternalCabinets(StagedCabinet& cabinet, int count,
                                                 const std::string& package_path,
                                                 std::string_view title);

// The external names of `count` cabinets beside a package titled `title`, for the user.
std::vector<std::string> ExternalCabinetNames(std::string_view title, int count);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_CABINET_MEDIA_H_

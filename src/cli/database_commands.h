#ifndef KITBINDER_CLI_DATABASE_COMMANDS_H_
#define KITBINDER_CLI_DATABASE_COMMANDS_H_

#include <span>
#include <string_view>

#include "cli/cli_command.h"

namespace kb::cli {

// The subcommands that read and write installer databases.

int RunImport(std::span<const std::string_view> args);
int RunExport(std::span<const std::string_view> args);
int RunTables(std::span<const std::string_view> args);
int RunStreams(std::span<const std::string_view> args);
int RunSummary(std::span<const std::string_view> args);
int RunQuery(std::span<const std::string_view> args);
int RunValidate(std::span<const std::string_view> args);

// Imports archive files (all *.idt of DIR when none are named, `_ForceCodepage.idt` first)
// into DATABASE, creating it when missing, and commits.
inline constexpr CliCommand kImportCommand{"import", "import DATABASE DIR [TABLE.idt ...]",
                                           RunImport};
// Prints TABLE as an archive file in the database's code page, or writes DIR/TABLE.idt with
// the streams of binary columns in DIR/TABLE/.
inline constexpr CliCommand kExportCommand{"export", "export DATABASE TABLE [DIR]", RunExport};
// One name per line.
inline constexpr CliCommand kTablesCommand{"tables", "tables DATABASE", RunTables};
inline constexpr CliCommand kStreamsCommand{"streams", "streams DATABASE", RunStreams};
// One "Name: value" line per summary information property.
inline constexpr CliCommand kSummaryCommand{"summary", "summary DATABASE", RunSummary};
// Runs one statement (committing a change) and prints its rows, fields separated by tabs.
inline constexpr CliCommand kQueryCommand{"query", "query DATABASE \"SQL\"", RunQuery};
// Checks a package against the documented consistency rules: one line per finding, then a
// count; exits 1 when any finding is an error.
inline constexpr CliCommand kValidateCommand{"validate", "validate PACKAGE", RunValidate};

}  // namespace kb::cli

#endif  // KITBINDER_CLI_DATABASE_COMMANDS_H_

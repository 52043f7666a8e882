#ifndef KITBINDER_MSI_DB_IDT_ARCHIVE_H_
#define KITBINDER_MSI_DB_IDT_ARCHIVE_H_

#include <optional>
#include <string>
#include <string_view>

#include "msi/db/database.h"
#include "msi/db/error_code.h"

namespace kb::msi {

// The installer's text archive format (.idt): a line of column names, a line of column
// definitions ("s72", "I2", "V0"...), a line naming the table and its primary key columns
// (preceded by a code page when the text is not plain ASCII), then one line per row. Fields
// are separated by tabs and lines end with CR LF; a tab, CR or LF inside a value is written as
// the control character 0x10, 0x11 or 0x19. Binary columns name a file in a folder called
// after the table. Two special archives carry no table: `_ForceCodepage` (the database's code
// page) and `_SummaryInformation` (summary information properties by id).

// Imports `folder`/`file` into `database`, replacing any table of the same name. A binary
// field's file is looked for in `folder`/TABLE, then in `folder`/BASE (the archive's name
// without its extension), each only when it is a plain name; a field naming anything but a
// plain file there is refused. An archive stamped with a code page imports only into a
// database of that code page or a neutral one, which takes the code page on. kFunctionFailed
// when the file cannot be read, is malformed, or a row is refused; a refused schema or code
// page says why in database.last_refusal().
ErrorCode ImportArchive(Database& database, const std::string& folder, const std::string& file);

// The archive text of `table` in the database's code page. With `binary_folder`, the streams
// of binary columns are written into `binary_folder`/`table`/ (created when missing), each in
// a file named after its row's key. nullopt when there is no such table, a stream cannot be
// written, a text cannot be represented, or the table's name or a key would name something
// other than a plain file (holding a path separator, say): nothing is written outside
// `binary_folder`. Each of these says why in database.last_refusal().
[[nodiscard]] std::optional<std::string> RenderArchive(Database& database, std::string_view table,
                                                       const std::string* binary_folder);

// Writes RenderArchive of `table` to `folder`/`file`, with the binary streams beside it.
// kBadPathname when the folder is missing or cannot be written or `file` is not a plain file
// name; kFunctionFailed otherwise. Says why in database.last_refusal().
ErrorCode ExportArchive(Database& database, std::string_view table, const std::string& folder,
                        const std::string& file);

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_IDT_ARCHIVE_H_

#ifndef KITBINDER_MSI_DB_TABLE_CODEC_H_
#define KITBINDER_MSI_DB_TABLE_CODEC_H_

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "msi/db/table.h"

namespace kb::msi {

// The installer's table stream layout: column after column, each holding one cell per row
// (temporary columns and rows are not stored). Cell widths come from the column types
// (ColumnType::StoredWidth) and the width of string references (2 or 3 bytes).

// Decodes a table stream. nullopt when its size is not a whole number of rows.
[[nodiscard]] std::optional<std::vector<Row>> DecodeTableStream(const TableSchema& schema,
                                                                std::span<const std::byte> stream,
                                                                unsigned string_ref_width);

// Encodes the persistent rows of `rows`.
std::vector<std::byte> EncodeTableStream(const TableSchema& schema, std::span<const Row> rows,
                                         unsigned string_ref_width);

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_TABLE_CODEC_H_

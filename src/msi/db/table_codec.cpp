#include "msi/db/table_codec.h"

#include "msi/db/byte_order.h"

namespace kb::msi {
namespace {

// Stored widths of the schema's columns; 0 for a temporary column, which takes no bytes.
std::vector<unsigned> StoredWidths(const TableSchema& schema, unsigned string_ref_width) {
  std::vector<unsigned> widths;
  for (const ColumnDef& column : schema.columns) {
    widths.push_back(column.type.temporary() ? 0 : column.type.StoredWidth(string_ref_width));
  }
  return widths;
}

}  // namespace

std::optional<std::vector<Row>> DecodeTableStream(const TableSchema& schema,
                                                  std::span<const std::byte> stream,
                                                  unsigned string_ref_width) {
  const std::vector<unsigned> widths = StoredWidths(schema, string_ref_width);
  std::size_t row_width = 0;
  for (const unsigned width : widths) row_width += width;
  if (row_width == 0) return stream.empty() ? std::optional<std::vector<Row>>({}) : std::nullopt;
  if (stream.size() % row_width != 0) return std::nullopt;
  const std::size_t count = stream.size() / row_width;
  std::vector<Row> rows(count, Row{std::vector<Cell>(widths.size(), 0), false});
  std::size_t offset = 0;
  for (std::size_t column = 0; column < widths.size(); ++column) {
    for (std::size_t r = 0; r < count && widths[column] != 0; ++r) {
      rows[r].cells[column] = ReadLittleEndian(stream, offset, widths[column]);
      offset += widths[column];
    }
  }
  return rows;
}

std::vector<std::byte> EncodeTableStream(const TableSchema& schema, std::span<const Row> rows,
                                         unsigned string_ref_width) {
  const std::vector<unsigned> widths = StoredWidths(schema, string_ref_width);
  std::vector<std::byte> out;
  for (std::size_t column = 0; column < widths.size(); ++column) {
    for (const Row& row : rows) {
      if (!row.temporary) AppendLittleEndian(out, row.cells[column], widths[column]);
    }
  }
  return out;
}

}  // namespace kb::msi

#ifndef KITBINDER_MSI_DB_TABLE_SCHEMA_H_
#define KITBINDER_MSI_DB_TABLE_SCHEMA_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "msi/db/column_type.h"

namespace kb::msi {

struct ColumnDef {
  std::string name;  // UTF-8
  ColumnType type;
};

// The shape of a table: its name, its columns in order, and which of them form the primary key
// (the columns whose type carries the key bit, in column order).
struct TableSchema {
  std::string name;  // UTF-8
  std::vector<ColumnDef> columns;

  // True when every column is temporary: the table lives only in memory, and only while held.
  bool temporary() const {
    for (const ColumnDef& column : columns) {
      if (!column.type.temporary()) return false;
    }
    return true;
  }

  std::vector<std::size_t> KeyColumns() const {
    std::vector<std::size_t> keys;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (columns[i].type.key()) keys.push_back(i);
    }
    return keys;
  }

  // Brings the columns `keys` names to the front in that order, each swapping places with the
  // column that stood there (the order the installer gives a table whose key columns are not
  // first), and sets their key bits. Returns where each column stood before, by its new place;
  // nullopt, the columns partly moved, when a key names no column or one named before.
  [[nodiscard]] std::optional<std::vector<std::size_t>> BringKeysFirst(
      const std::vector<std::string>& keys) {
    std::vector<std::size_t> from(columns.size());
    for (std::size_t i = 0; i < from.size(); ++i) from[i] = i;
    for (std::size_t k = 0; k < keys.size(); ++k) {
      std::size_t at = k;
      while (at < columns.size() && columns[at].name != keys[k]) ++at;
      if (at == columns.size()) return std::nullopt;
      std::swap(columns[k], columns[at]);
      std::swap(from[k], from[at]);
      columns[k].type = columns[k].type.With(ColumnType::kKey, true);
    }
    return from;
  }

  [[nodiscard]] std::optional<std::size_t> FindColumn(std::string_view column) const {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (columns[i].name == column) return i;
    }
    return std::nullopt;
  }

  bool HasObjectColumn() const {
    for (const ColumnDef& column : columns) {
      if (column.type.is_object()) return true;
    }
    return false;
  }
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_TABLE_SCHEMA_H_

#include "msi/db/memory_table_data.h"

#include <algorithm>

namespace kb::msi {

std::optional<std::size_t> MemoryTableData::Find(std::span<const FieldValue> key) const {
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    if (std::ranges::equal(KeyOf(row), key)) return row;
  }
  return std::nullopt;
}

}  // namespace kb::msi

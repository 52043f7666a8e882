#ifndef KITBINDER_VALIDATION_PACKAGE_TABLES_H_
#define KITBINDER_VALIDATION_PACKAGE_TABLES_H_

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "msi/api/scoped_handle.h"

namespace kb::validation {

// One table read whole, its fields as text (integers in decimal). A null field has no value; a
// stream field reads as empty text.
class Table {
 public:
  Table() = default;  // a table the package lacks: no columns, no rows
  Table(std::vector<std::string> columns, std::vector<std::string> types, std::size_t key_count,
        std::vector<std::vector<std::optional<std::string>>> rows);

  std::size_t size() const { return rows_.size(); }
  const std::vector<std::string>& columns() const { return columns_; }
  // The column's definition as the engine states it ("s72", "I2", "v0", ...); REQUIRES the
  // column index is below columns().size().
  const std::string& type(std::size_t column) const { return types_[column]; }
  std::optional<std::size_t> ColumnIndex(std::string_view column) const;

  // The field of row `row` (REQUIRES row < size()) in `column`; nullopt for a null field and
  // for a column the table lacks.
  const std::optional<std::string>& Field(std::size_t row, std::string_view column) const;
  const std::optional<std::string>& Field(std::size_t row, std::size_t column) const;
  // The same as text, empty for null.
  std::string Text(std::size_t row, std::string_view column) const;
  // The same as a number; nullopt for null or text that is not one.
  std::optional<long long> Number(std::size_t row, std::string_view column) const;
  // The row's primary key, its fields joined by '.', to name the row in a finding.
  std::string Key(std::size_t row) const;
  // The first row whose `column` holds `value`; nullopt when none does. The first call for a
  // column indexes it, so that rules looking up every row of a large table stay linear; the
  // index is kept, which makes Find unsafe to call from two threads at once.
  std::optional<std::size_t> Find(std::string_view column, std::string_view value) const;

 private:
  // A column's values, each to the first row that holds it (null fields left out).
  using ValueRows = std::unordered_map<std::string, std::size_t>;
  const ValueRows& IndexOf(std::size_t column) const;

  std::vector<std::string> columns_;
  std::vector<std::string> types_;
  std::size_t key_count_ = 0;
  std::vector<std::vector<std::optional<std::string>>> rows_;
  // Built by Find on first use, by column.
  mutable std::map<std::size_t, ValueRows> indexes_;
};

// The summary information a rule asks about.
struct SummaryFacts {
  std::string platform;       // the Template's part before ';' ("Intel", "x64", ...)
  std::optional<int> schema;  // Page Count
  std::optional<int> word_count;
};

// An installer package opened read-only, its tables read whole on first use.
class PackageTables {
 public:
  // Takes ownership of `database`, an open database handle, and reads its summary information.
  explicit PackageTables(msi::ScopedHandle database);

  // The table `name`, read on first use and kept; an empty Table when the package lacks it.
  // The reference stays valid as long as this object.
  const Table& Get(const std::string& name);
  // Whether the package has a table of that name.
  bool Has(const std::string& name);
  const SummaryFacts& summary() const { return summary_; }

 private:
  Table Read(const std::string& name);

  msi::ScopedHandle database_;
  SummaryFacts summary_;
  std::map<std::string, Table, std::less<>> tables_;
};

}  // namespace kb::validation

#endif  // KITBINDER_VALIDATION_PACKAGE_TABLES_H_

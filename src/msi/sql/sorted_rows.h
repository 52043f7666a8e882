#ifndef KITBINDER_MSI_SQL_SORTED_ROWS_H_
#define KITBINDER_MSI_SQL_SORTED_ROWS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "msi/db/error_code.h"
#include "platform/unique_fd.h"

namespace kb::msi {

// The rows a SELECT gathers before it gives out the first (those of an ORDER BY, or of one
// table), each a fixed number of row numbers, one per table, put in order and read back one at
// a time in memory that does not grow with their number. Rows are held in memory up to a budget
// of bytes; past it, each budget's worth is sorted and written as a run to an unnamed temporary
// file, and Finish merges the runs into one sorted file that Next reads in pieces. A gather that
// stays within the budget makes no file. Equal rows keep the order they were added in, with or
// without a file.
class SortedRows {
 public:
  using Row = std::span<const std::uint32_t>;
  // Negative when `a` comes before `b`, positive when after, 0 when either may; null keeps the
  // rows in the order they were added.
  using Compare = std::function<int(Row a, Row b)>;
  // Whether a row, met in order, is kept (DISTINCT drops repeats); called once per row.
  using Keep = std::function<bool(Row row)>;

  // The bytes held in memory before rows go to a file: 4 a row number, and 8 a row for the
  // order they are sorted in and the sort's scratch. 16 MB holds a million rows of a two-table
  // join; merging uses the same budget for its buffers, 64 KB a run.
  static constexpr std::size_t kMemoryBudget = std::size_t{16} << 20;

  // REQUIRES: width > 0. `compare` is called during Add and Finish only.
  SortedRows(std::size_t width, Compare compare, std::size_t budget = kMemoryBudget);
  ~SortedRows();
  SortedRows(const SortedRows&) = delete;
  SortedRows& operator=(const SortedRows&) = delete;

  // Adds a row. kFunctionFailed when a run cannot be written to the temporary file (or none
  // can be made). REQUIRES: row.size() == width; Finish not called yet.
  ErrorCode Add(Row row);

  // Puts the rows in order, leaving out those `keep` (when not null) refuses. kFunctionFailed
  // when a run cannot be read or written. REQUIRES: called once, after the last Add.
  ErrorCode Finish(const Keep& keep);

  // Sets *out to the next row in order, valid until the next call. kNoMoreItems after the last,
  // and the call after that starts again from the first; kFunctionFailed when the file cannot
  // be read. REQUIRES: Finish succeeded.
  ErrorCode Next(Row* out);

 private:
  // Rows [first, first + count) of a file, counted in rows.
  struct Run {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
  };
  class RunReader;
  class RunWriter;

  Row HeldRow(std::size_t at) const;
  // The held rows' places in order.
  std::vector<std::uint32_t> HeldInOrder() const;
  // Writes the held rows in order as one more run of file_ and lets go of them.
  ErrorCode Spill();
  // Merges the runs of `from` into one run of `to`, equal rows from the earlier run first.
  ErrorCode Merge(int from, std::span<const Run> runs, RunWriter& to, const Keep& keep) const;
  // Merges runs_ into fewer (fan_in_ at a time) in a new file, until one is left.
  ErrorCode MergeAll(const Keep& keep);

  const std::size_t width_;
  const Compare compare_;
  const std::size_t run_rows_;    // the most rows held in memory
  const std::size_t fan_in_;      // the most runs merged at once
  const std::size_t piece_rows_;  // rows a run's buffer holds while merging and reading
  std::vector<std::uint32_t> held_;
  // Without a file: the held rows' places in order, and the next to give out.
  std::vector<std::uint32_t> order_;
  std::size_t next_ = 0;
  // With one: the runs written so far (a single one once Finish merged them), and their reader.
  platform::UniqueFd file_;
  std::unique_ptr<RunWriter> writer_;
  std::vector<Run> runs_;
  std::unique_ptr<RunReader> sorted_;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_SQL_SORTED_ROWS_H_

// Sorting in bounded memory: runs sorted in memory, written to a scratch file and merged k ways.

#include "msi/sql/sorted_rows.h"

#include <algorithm>
#include <numeric>
#include <queue>

#include "msi/storage/file_io.h"
#include "platform/unnamed_file.h"

namespace kb::msi {

namespace {

// The least piece a run is read or written in while merging: large enough that the reads stay
// few, small enough that a 16 MB budget merges 255 runs at once.
constexpr std::size_t kPieceBytes = std::size_t{64} << 10;

std::size_t RowBytes(std::size_t width) {
  return width * sizeof(std::uint32_t);
}

}  // namespace

// Reads one run of a file a piece at a time.
class SortedRows::RunReader {
 public:
  RunReader(int fd, Run run, std::size_t width, std::size_t piece_rows)
      : fd_(fd), run_(run), width_(width), buffer_(piece_rows * width), next_(run.first) {}

  // Moves to the next row of the run: kSuccess, kNoMoreItems after the last (and row() is then
  // the first again on the next call), or kFunctionFailed when the file cannot be read.
  ErrorCode Advance() {
    if (at_ + 1 < held_) {
      ++at_;
      return kSuccess;
    }
    const std::uint64_t left = run_.first + run_.count - next_;
    if (left == 0) {
      next_ = run_.first;
      held_ = at_ = 0;
      return kNoMoreItems;
    }
    const auto rows =
        static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer_.size() / width_));
    const auto bytes = std::as_writable_bytes(std::span(buffer_).first(rows * width_));
    if (ReadAt(fd_, next_ * RowBytes(width_), bytes) != StorageError::kNone) return kFunctionFailed;
    next_ += rows;
    held_ = rows;
    at_ = 0;
    return kSuccess;
  }

  // REQUIRES: the last Advance gave kSuccess.
  Row row() const { return std::span(buffer_).subspan(at_ * width_, width_); }

 private:
  const int fd_;
  const Run run_;
  const std::size_t width_;
  std::vector<std::uint32_t> buffer_;
  std::uint64_t next_;  // the first row not read yet
  std::size_t held_ = 0;
  std::size_t at_ = 0;
};

// Appends rows to a file a piece at a time.
class SortedRows::RunWriter {
 public:
  RunWriter(int fd, std::size_t width, std::size_t piece_rows)
      : fd_(fd), piece_(piece_rows * width) {
    buffer_.reserve(piece_);
  }

  ErrorCode Put(Row row) {
    buffer_.insert(buffer_.end(), row.begin(), row.end());
    rows_ += 1;
    return buffer_.size() >= piece_ ? Flush() : kSuccess;
  }

  // Writes what Put holds back; kFunctionFailed when the file refuses it.
  ErrorCode Flush() {
    const auto bytes = std::as_bytes(std::span(buffer_));
    if (WriteAt(fd_, written_, bytes) != StorageError::kNone) return kFunctionFailed;
    written_ += bytes.size();
    buffer_.clear();
    return kSuccess;
  }

  // The rows put so far, flushed or not.
  std::uint64_t rows() const { return rows_; }

 private:
  const int fd_;
  const std::size_t piece_;
  std::vector<std::uint32_t> buffer_;
  std::uint64_t written_ = 0;  // bytes
  std::uint64_t rows_ = 0;
};

SortedRows::SortedRows(std::size_t width, Compare compare, std::size_t budget)
    : width_(width),
      compare_(std::move(compare)),
      // Each held row costs its row numbers, its place in the order being sorted, and as much
      // again in the stable sort's scratch.
      run_rows_(std::max<std::size_t>(1, budget / (RowBytes(width) + 2 * sizeof(std::uint32_t)))),
      // Merging buffers a piece of each run and one of the output.
      fan_in_(std::max<std::size_t>(3, budget / kPieceBytes) - 1),
      piece_rows_(std::max<std::size_t>(1, budget / (fan_in_ + 1) / RowBytes(width))) {}

SortedRows::~SortedRows() = default;

SortedRows::Row SortedRows::HeldRow(std::size_t at) const {
  return std::span(held_).subspan(at * width_, width_);
}

std::vector<std::uint32_t> SortedRows::HeldInOrder() const {
  std::vector<std::uint32_t> order(held_.size() / width_);
  std::iota(order.begin(), order.end(), 0u);
  if (compare_) {
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      return compare_(HeldRow(a), HeldRow(b)) < 0;
    });
  }
  return order;
}

ErrorCode SortedRows::Add(Row row) {
  if (held_.size() == run_rows_ * width_ && Spill() != kSuccess) return kFunctionFailed;
  // Grown by hand so that the rows held never take much more than the budget.
  if (held_.size() == held_.capacity()) {
    held_.reserve(std::min(std::max(2 * held_.capacity(), width_), run_rows_ * width_));
  }
  held_.insert(held_.end(), row.begin(), row.end());
  return kSuccess;
}

ErrorCode SortedRows::Spill() {
  if (!file_.valid()) {
    file_ = platform::NewTemporaryFile();
    if (!file_.valid()) return kFunctionFailed;
    writer_ = std::make_unique<RunWriter>(file_.get(), width_, piece_rows_);
  }
  const std::uint64_t first = writer_->rows();
  for (const std::uint32_t at : HeldInOrder()) {
    if (writer_->Put(HeldRow(at)) != kSuccess) return kFunctionFailed;
  }
  if (writer_->Flush() != kSuccess) return kFunctionFailed;
  runs_.push_back({first, writer_->rows() - first});
  held_.clear();
  return kSuccess;
}

ErrorCode SortedRows::Merge(int from, std::span<const Run> runs, RunWriter& to,
                            const Keep& keep) const {
  std::vector<RunReader> readers;
  readers.reserve(runs.size());
  for (const Run& run : runs) readers.emplace_back(from, run, width_, piece_rows_);
  // The heap's top is the run whose row comes first; of equal rows, the earlier run's.
  auto after = [&](std::size_t a, std::size_t b) {
    const int compared = compare_ ? compare_(readers[a].row(), readers[b].row()) : 0;
    return compared > 0 || (compared == 0 && a > b);
  };
  std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(after)> heads(after);
  for (std::size_t run = 0; run < readers.size(); ++run) {
    const ErrorCode moved = readers[run].Advance();
    if (moved == kFunctionFailed) return kFunctionFailed;
    if (moved == kSuccess) heads.push(run);
  }
  while (!heads.empty()) {
    const std::size_t run = heads.top();
    heads.pop();
    // The run gives rows as long as they come before every other run's: one comparison a row
    // where runs hold long stretches of equal rows, rather than a trip through the heap.
    ErrorCode moved = kSuccess;
    do {
      const Row row = readers[run].row();
      if ((!keep || keep(row)) && to.Put(row) != kSuccess) return kFunctionFailed;
      moved = readers[run].Advance();
    } while (moved == kSuccess && (heads.empty() || !after(run, heads.top())));
    if (moved == kFunctionFailed) return kFunctionFailed;
    if (moved == kSuccess) heads.push(run);
  }
  return kSuccess;
}

ErrorCode SortedRows::MergeAll(const Keep& keep) {
  for (;;) {
    // Each pass merges fan_in_ neighbouring runs into one, so that equal rows keep their order;
    // the last, which merges them all, leaves out the rows `keep` refuses.
    platform::UniqueFd file = platform::NewTemporaryFile();
    if (!file.valid()) return kFunctionFailed;
    RunWriter writer(file.get(), width_, piece_rows_);
    const bool last = runs_.size() <= fan_in_;
    std::vector<Run> merged;
    for (std::size_t from = 0; from < runs_.size(); from += fan_in_) {
      const std::uint64_t first = writer.rows();
      const auto group = std::span(runs_).subspan(from, std::min(fan_in_, runs_.size() - from));
      if (Merge(file_.get(), group, writer, last ? keep : nullptr) != kSuccess) {
        return kFunctionFailed;
      }
      merged.push_back({first, writer.rows() - first});
    }
    if (writer.Flush() != kSuccess) return kFunctionFailed;
    file_ = std::move(file);
    runs_ = std::move(merged);
    if (last) return kSuccess;
  }
}

ErrorCode SortedRows::Finish(const Keep& keep) {
  if (runs_.empty()) {
    order_ = HeldInOrder();
    if (keep) std::erase_if(order_, [&](std::uint32_t at) { return !keep(HeldRow(at)); });
    return kSuccess;
  }
  if (!held_.empty() && Spill() != kSuccess) return kFunctionFailed;
  held_ = {};
  writer_.reset();
  if (MergeAll(keep) != kSuccess) return kFunctionFailed;
  sorted_ = std::make_unique<RunReader>(file_.get(), runs_.front(), width_, piece_rows_);
  return kSuccess;
}

ErrorCode SortedRows::Next(Row* out) {
  if (sorted_) {
    const ErrorCode moved = sorted_->Advance();
    if (moved == kSuccess) *out = sorted_->row();
    return moved;
  }
  if (next_ == order_.size()) {
    next_ = 0;
    return kNoMoreItems;
  }
  *out = HeldRow(order_[next_++]);
  return kSuccess;
}

}  // namespace kb::msi

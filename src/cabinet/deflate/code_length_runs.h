#ifndef KITBINDER_CABINET_DEFLATE_CODE_LENGTH_RUNS_H_
#define KITBINDER_CABINET_DEFLATE_CODE_LENGTH_RUNS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "cabinet/deflate/deflate_tables.h"

namespace kb::cabinet {

// One symbol of the code-length alphabet with the value of its extra bits.
struct CodeLengthSymbol {
  std::uint8_t symbol = 0;
  std::uint8_t extra = 0;
};

// The code lengths of a dynamic block's two trees, run-length coded in the code-length
// alphabet (0 to 15 plain, 16 repeat previous, 17 and 18 repeat zero). Each tree is coded on
// its own, so no run crosses from the literal/length lengths into the distance lengths.
class CodeLengthRuns {
 public:
  void Clear() { size_ = 0; }

  // Appends the coding of one tree's lengths.
  // REQUIRES: the total of all appended lengths stays within one block's two trees.
  void Append(std::span<const std::uint8_t> lengths);

  std::span<const CodeLengthSymbol> symbols() const { return {symbols_.data(), size_}; }

 private:
  void Add(int symbol, int extra = 0);

  // A symbol covers at least one length.
  std::array<CodeLengthSymbol, deflate::kLiteralLengthCodes + deflate::kDistanceCodes> symbols_;
  std::size_t size_ = 0;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_DEFLATE_CODE_LENGTH_RUNS_H_

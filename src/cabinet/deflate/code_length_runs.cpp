#include "cabinet/deflate/code_length_runs.h"

namespace kb::cabinet {

// A run is cut at 138 zeros, and at 6 repeats of a length equal to the run before (one code
// 16) or 7 of a new length (the length itself, then one code 16). Runs too short for a repeat
// code to pay go out as plain lengths.
void CodeLengthRuns::Append(std::span<const std::uint8_t> lengths) {
  int previous = -1;
  for (std::size_t i = 0; i < lengths.size();) {
    const int length = lengths[i];
    const bool repeats = length == previous;
    const int max_run = length == 0 ? 138 : repeats ? 6 : 7;
    const int min_run = length == 0 || repeats ? 3 : 4;
    int run = 1;
    while (run < max_run && i + run < lengths.size() && lengths[i + run] == length) ++run;
    i += run;
    previous = length;
    if (run < min_run) {
      for (; run > 0; --run) Add(length);
    } else if (length != 0) {
      if (!repeats) {
        Add(length);
        --run;
      }
      Add(deflate::kRepeatPrevious, run - 3);
    } else if (run <= 10) {
      Add(deflate::kRepeatZeros, run - 3);
    } else {
      Add(deflate::kRepeatManyZeros, run - 11);
    }
  }
}

void CodeLengthRuns::Add(int symbol, int extra) {
  symbols_[size_++] = {static_cast<std::uint8_t>(symbol), static_cast<std::uint8_t>(extra)};
}

}  // namespace kb::cabinet

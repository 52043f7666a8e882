#include "cabinet/deflate/mszip_encoder.h"

#include "cabinet/deflate/lazy_matcher.h"

namespace kb::cabinet {

MszipEncoder::Encoded MszipEncoder::Encode(std::span<const std::byte> input,
                                           std::span<std::byte> output) {
  finder_.Load(input, history_);
  out_.Start(output);
  out_.PutBits('C', 8);
  out_.PutBits('K', 8);
  tally_.Clear();
  LazyMatcher(effort_, finder_, tally_, writer_, out_).Run();

  history_ = input.size() == kFullBlock;
  return {static_cast<std::uint16_t>(out_.bytes_written()), out_.overflowed()};
}

}  // namespace kb::cabinet

#include "cabinet/deflate/huffman_builder.h"

#include <gtest/gtest.h>

#include <vector>

namespace kb::cabinet {
namespace {

// Kraft sum of the lengths, in units of 2^-max_bits: exactly 2^max_bits for a complete code.
std::uint32_t KraftSum(const std::vector<std::uint8_t>& lengths, int max_bits) {
  std::uint32_t sum = 0;
  for (std::uint8_t length : lengths) {
    if (length != 0) sum += 1u << (max_bits - length);
  }
  return sum;
}

// Fibonacci frequencies make the most lopsided tree: without a limit the rarest code would
// need one bit per code.
TEST(HuffmanBuilderTest, LimitsLopsidedTreesToACompleteCodeOfMaxBits) {
  for (const auto& [codes, max_bits] : {std::pair{30, 15}, std::pair{19, 7}, std::pair{286, 15}}) {
    std::vector<std::uint32_t> frequencies(codes);
    for (int i = 0; i < codes; ++i) {
      frequencies[i] = i < 2 ? 1 : frequencies[i - 1] + frequencies[i - 2];
      if (frequencies[i] > 1'000'000) frequencies[i] = 1'000'000 + i;
    }
    std::vector<std::uint8_t> lengths(codes);
    HuffmanBuilder builder;
    EXPECT_EQ(builder.Build(frequencies, max_bits, lengths), codes - 1);
    EXPECT_EQ(KraftSum(lengths, max_bits), 1u << max_bits);
    for (int i = 1; i < codes; ++i) {
      EXPECT_LE(lengths[i], max_bits);
      if (frequencies[i - 1] < frequencies[i]) {
        EXPECT_GE(lengths[i - 1], lengths[i]) << "more frequent code " << i << " is longer";
      }
    }
  }
}

TEST(HuffmanBuilderTest, ForcesASecondCodeWhenFewerThanTwoAreUsed) {
  HuffmanBuilder builder;
  std::vector<std::uint8_t> lengths(30);
  std::vector<std::uint32_t> none(30, 0);
  EXPECT_EQ(builder.Build(none, 15, lengths), 1);
  EXPECT_EQ(lengths[0], 1);
  EXPECT_EQ(lengths[1], 1);

  std::vector<std::uint32_t> only_seven(30, 0);
  only_seven[7] = 40;
  EXPECT_EQ(builder.Build(only_seven, 15, lengths), 7);
  EXPECT_EQ(lengths[0], 1);
  EXPECT_EQ(lengths[7], 1);
  EXPECT_EQ(KraftSum(lengths, 15), 1u << 15);
}

}  // namespace
}  // namespace kb::cabinet

#include "cabinet/deflate/bit_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace kb::cabinet {
namespace {

TEST(BitWriterTest, PacksLeastSignificantBitFirstAndDropsWhatDoesNotFit) {
  std::array<std::byte, 3> out{};
  BitWriter writer;
  writer.Start(out);
  writer.PutBits(0x5, 3);
  writer.PutBits(0x1FF, 9);
  writer.PutBits(0xABCD, 16);  // its last four bits fall past the buffer
  writer.AlignToByte();
  EXPECT_EQ(writer.bytes_written(), 3u);
  EXPECT_TRUE(writer.overflowed());
  EXPECT_EQ(out, (std::array<std::byte, 3>{std::byte{0xFD}, std::byte{0xDF}, std::byte{0xBC}}));

  writer.Start(out);
  writer.PutBits(0x1, 3);
  const std::array<std::uint8_t, 3> bytes = {0x11, 0x22, 0x33};
  writer.PutBytes(bytes);  // pads to a byte first
  EXPECT_TRUE(writer.overflowed());
  EXPECT_EQ(out, (std::array<std::byte, 3>{std::byte{0x01}, std::byte{0x11}, std::byte{0x22}}));
}

}  // namespace
}  // namespace kb::cabinet

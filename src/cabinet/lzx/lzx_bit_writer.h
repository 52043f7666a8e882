#ifndef KITBINDER_CABINET_LZX_LZX_BIT_WRITER_H_
#define KITBINDER_CABINET_LZX_LZX_BIT_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <span>

namespace kb::cabinet {

// Writes an LZX bit stream: bits go most significant first into 16-bit words, and each word is
// stored little-endian. Bytes past the end of the output are dropped and the overflow noted.
class LzxBitWriter {
 public:
  explicit LzxBitWriter(std::span<std::byte> out) : out_(out) {}

  // REQUIRES: count <= 16 and value < 2^count.
  void PutBits(std::uint32_t value, int count) {
    buffer_ = (buffer_ << count) | value;
    count_ += count;
    if (count_ >= 16) {
      count_ -= 16;
      EmitWord(static_cast<std::uint16_t>(buffer_ >> count_));
    }
  }

  // Up to 32 bits, in two parts.
  void PutLongBits(std::uint32_t value, int count) {
    if (count > 16) {
      PutBits(value >> 16, count - 16);
      count = 16;
      value &= 0xFFFF;
    }
    PutBits(value, count);
  }

  // Pads with zero bits to the next 16-bit boundary (none when already there).
  void Align() {
    if (count_ > 0) PutBits(0, 16 - count_);
  }

  // Raw bytes; REQUIRES: the stream is aligned.
  void PutBytes(std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) EmitByte(byte);
  }

  std::size_t bytes_written() const { return written_; }
  bool overflowed() const { return overflowed_; }

 private:
  void EmitWord(std::uint16_t word) {
    EmitByte(static_cast<std::uint8_t>(word & 0xFF));
    EmitByte(static_cast<std::uint8_t>(word >> 8));
  }
  void EmitByte(std::uint8_t byte) {
    if (written_ < out_.size()) {
      out_[written_] = std::byte{byte};
    } else {
      overflowed_ = true;
    }
    ++written_;
  }

  std::span<std::byte> out_;
  std::uint32_t buffer_ = 0;
  int count_ = 0;
  std::size_t written_ = 0;
  bool overflowed_ = false;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_LZX_LZX_BIT_WRITER_H_

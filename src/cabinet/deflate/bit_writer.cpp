#include "cabinet/deflate/bit_writer.h"

#include <algorithm>
#include <cstring>

namespace kb::cabinet {

void BitWriter::Start(std::span<std::byte> out) {
  out_ = out;
  written_ = 0;
  overflowed_ = false;
  pending_ = 0;
  pending_count_ = 0;
}

void BitWriter::EmitWord() {
  if (out_.size() - written_ >= 4) {
    for (int i = 0; i < 4; ++i) out_[written_ + i] = static_cast<std::byte>(pending_ >> (8 * i));
    written_ += 4;
  } else {
    for (int i = 0; i < 4; ++i) EmitByte(static_cast<std::uint8_t>(pending_ >> (8 * i)));
  }
  pending_ >>= 32;
  pending_count_ -= 32;
}

void BitWriter::EmitByte(std::uint8_t byte) {
  if (written_ < out_.size()) {
    out_[written_++] = static_cast<std::byte>(byte);
  } else {
    overflowed_ = true;
  }
}

void BitWriter::AlignToByte() {
  for (; pending_count_ > 0; pending_count_ -= 8, pending_ >>= 8) {
    EmitByte(static_cast<std::uint8_t>(pending_));
  }
  pending_ = 0;
  pending_count_ = 0;
}

void BitWriter::PutBytes(std::span<const std::uint8_t> bytes) {
  AlignToByte();
  const std::size_t fits = std::min(bytes.size(), out_.size() - written_);
  if (fits > 0) std::memcpy(out_.data() + written_, bytes.data(), fits);
  written_ += fits;
  if (fits < bytes.size()) overflowed_ = true;
}

}  // namespace kb::cabinet

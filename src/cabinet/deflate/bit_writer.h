#ifndef KITBINDER_CABINET_DEFLATE_BIT_WRITER_H_
#define KITBINDER_CABINET_DEFLATE_BIT_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <span>

namespace kb::cabinet {

// Writes a Deflate bit stream into a caller's buffer: values go in least significant bit
// first, bytes come out in order. A byte that would not fit the buffer is dropped and marks
// the writer as overflowed; writing goes on, so the caller learns the overflow at the end.
//
// The writer does not own the buffer; it must outlive the writing.
class BitWriter {
 public:
  // Starts a new stream at the beginning of `out`.
  void Start(std::span<std::byte> out);

  // Appends the low `count` bits of `value`.
  // REQUIRES: count <= 32 and value < 2^count.
  void PutBits(std::uint32_t value, int count) {
    pending_ |= static_cast<std::uint64_t>(value) << pending_count_;
    pending_count_ += count;
    if (pending_count_ >= 32) EmitWord();
  }

  // Pads the pending bits with zeros to a whole byte and writes them out.
  void AlignToByte();

  // Appends whole bytes. REQUIRES: the stream is at a byte boundary (AlignToByte).
  void PutBytes(std::span<const std::uint8_t> bytes);

  std::size_t bytes_written() const { return written_; }
  bool overflowed() const { return overflowed_; }

 private:
  void EmitWord();
  void EmitByte(std::uint8_t byte);

  std::span<std::byte> out_;
  std::size_t written_ = 0;
  bool overflowed_ = false;
  std::uint64_t pending_ = 0;
  int pending_count_ = 0;
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_DEFLATE_BIT_WRITER_H_

#ifndef KITBINDER_CABINET_LZX_LZX_COMPRESSOR_H_
#define KITBINDER_CABINET_LZX_LZX_COMPRESSOR_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kb::cabinet {

// Compresses a folder's stream, frame by frame, into LZX with a 2 MB window (window bits 21,
// the cabinet type word 0x1503). A frame is a cabinet data block: 32,768 bytes, the last of a
// folder possibly fewer. The window runs through the whole folder, so frames must be coded in
// order by one compressor; Reset starts the next folder.
//
// Block choices: every frame is one LZX block, so that a block never straddles a data block
// and the trees follow the data frame by frame. A verbatim block (main and length trees sent
// as deltas against the previous block's through a pretree, no aligned-offset tree) is written
// unless it would come out larger than the frame stored as it is; then the frame is an
// uncompressed block. No Intel E8 translation.
//
// Match choices: hash chains over three bytes, up to kMaxChain candidates a search, reaching
// back up to the window's limit; one-step lazy matching as in the MSZIP coder (a match under
// kLazyLimit is held back a byte and dropped for a literal when the next position starts a
// longer one). A match never crosses the frame's end, so every frame decodes to exactly its
// own bytes. A match at the most recent distance is coded as the repeated offset R0, which
// costs no position bits.
//
// Memory: about 14 MB, allocated by the constructor; Compress allocates a few kilobytes of work
// lists for the trees per frame and may throw std::bad_alloc. Not thread-safe.
class LzxCompressor {
 public:
  static constexpr int kWindowBits = 21;
  static constexpr std::uint16_t kCompressionType = 3 | (kWindowBits << 8);
  static constexpr std::size_t kFrameSize = 32768;
  // Output room beyond the frame: the block header, alignment and the three stored offsets of
  // an uncompressed block.
  static constexpr std::size_t kOutputSlack = 32;
  static constexpr int kMaxChain = 64;
  static constexpr std::uint32_t kLazyLimit = 32;

  LzxCompressor();

  // Codes the next frame of the folder into `output`; returns the bytes written, or 0 when
  // they did not fit (only when output is under kFrameSize + kOutputSlack).
  // REQUIRES: 0 < frame.size() <= kFrameSize, and every frame before it in the folder was
  // full.
  std::size_t Compress(std::span<const std::byte> frame, std::span<std::byte> output);

  // Starts a new folder: empty window, trees and repeated offsets as at the stream's start.
  void Reset();

 private:
  struct Token {
    std::uint32_t length = 0;  // 0 for a literal
    std::uint32_t value = 0;   // the literal, or the formatted offset (0 for R0)
  };
  struct Found {
    std::uint32_t length = 0;
    std::uint32_t distance = 0;
  };

  void Append(std::span<const std::byte> frame);
  void Insert(std::uint32_t position);
  Found LongestMatch(std::uint32_t position, std::uint32_t end) const;
  void Parse(std::uint32_t begin, std::uint32_t end);
  void AddMatch(Found match);
  // Writes the tokens as a verbatim block; false, leaving the trees as they were, when it
  // comes out over `max_size` bytes (or over the output).
  bool WriteVerbatim(std::span<std::byte> output, std::size_t max_size);
  std::size_t WriteUncompressed(std::span<const std::byte> frame, std::span<std::byte> output);
  const std::uint8_t* at(std::uint32_t position) const { return &window_[position - base_]; }

  std::vector<std::uint8_t> window_;   // bytes from position base_ on
  std::vector<std::uint32_t> heads_;   // newest position + 1 per hash, 0 for none
  std::vector<std::uint32_t> chains_;  // per position (masked), the previous one + 1
  std::uint32_t base_ = 0;             // stream position of window_[0]
  std::uint32_t end_ = 0;              // stream position after the last byte appended
  bool started_ = false;               // the stream's header bit has been written
  std::array<std::uint32_t, 3> repeated_{1, 1, 1};
  std::vector<Token> tokens_;
  std::size_t verbatim_size_ = 0;             // of the block WriteVerbatim wrote last
  std::vector<std::uint8_t> main_lengths_;    // of the previous verbatim block
  std::vector<std::uint8_t> length_lengths_;  // likewise
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_LZX_LZX_COMPRESSOR_H_

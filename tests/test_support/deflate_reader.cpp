#include "test_support/deflate_reader.h"

#include <array>

namespace kb::test {
namespace {

class BitReader {
 public:
  explicit BitReader(std::span<const std::uint8_t> data) : data_(data) {}

  // Returns -1 past the end of the data.
  int Bits(int count) {
    int value = 0;
    for (int i = 0; i < count; ++i, ++bit_) {
      if (bit_ / 8 >= data_.size()) return -1;
      value |= ((data_[bit_ / 8] >> (bit_ % 8)) & 1) << i;
    }
    return value;
  }
  void SkipToByte() { bit_ = (bit_ + 7) / 8 * 8; }
  std::size_t bytes_read() const { return (bit_ + 7) / 8; }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t bit_ = 0;
};

// A canonical Huffman code, decoded one bit at a time.
class Code {
 public:
  // False when the lengths over-subscribe the code space.
  bool Build(std::span<const std::uint8_t> lengths) {
    count_.fill(0);
    for (std::uint8_t length : lengths) ++count_[length];
    count_[0] = 0;
    int room = 1;
    for (int bits = 1; bits < 16; ++bits) {
      room = 2 * room - count_[bits];
      if (room < 0) return false;
    }
    symbols_.clear();
    for (int bits = 1; bits < 16; ++bits) {
      for (std::size_t n = 0; n < lengths.size(); ++n) {
        if (lengths[n] == bits) symbols_.push_back(static_cast<int>(n));
      }
    }
    return true;
  }

  // Returns -1 for a bit pattern no code has.
  int Decode(BitReader& in) const {
    int code = 0, first = 0, index = 0;
    for (int bits = 1; bits < 16; ++bits) {
      const int bit = in.Bits(1);
      if (bit < 0) return -1;
      code |= bit;
      if (code - first < count_[bits]) return symbols_[index + code - first];
      index += count_[bits];
      first = (first + count_[bits]) << 1;
      code <<= 1;
    }
    return -1;
  }

 private:
  std::array<int, 16> count_{};
  std::vector<int> symbols_;
};

constexpr std::array<int, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                             15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                             67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<int, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<int, 30> kDistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<int, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                  11, 4,  12, 3, 13, 2, 14, 1, 15};

class Reader {
 public:
  Reader(std::span<const std::uint8_t> data, std::span<const std::uint8_t> history)
      : in_(data), history_(history) {}

  std::optional<DeflateStream> Read() {
    DeflateBlock block;
    do {
      block = DeflateBlock{};
      block.final = in_.Bits(1) == 1;
      block.type = in_.Bits(2);
      const bool ok = block.type == 0   ? ReadStored(block)
                      : block.type == 1 ? ReadFixed(block)
                      : block.type == 2 ? ReadDynamic(block)
                                        : false;
      if (!ok) return std::nullopt;
      stream_.blocks.push_back(std::move(block));
    } while (!stream_.blocks.back().final);
    stream_.bytes_read = in_.bytes_read();
    return std::move(stream_);
  }

 private:
  bool ReadStored(DeflateBlock& block) {
    in_.SkipToByte();
    const int length = in_.Bits(16);
    const int complement = in_.Bits(16);
    if (length < 0 || complement != (~length & 0xFFFF)) return false;
    for (int i = 0; i < length; ++i) {
      const int byte = in_.Bits(8);
      if (byte < 0) return false;
      stream_.output.push_back(static_cast<std::uint8_t>(byte));
    }
    block.stored_size = static_cast<std::size_t>(length);
    return true;
  }

  bool ReadFixed(DeflateBlock& block) {
    std::array<std::uint8_t, 288> literal_lengths{};
    for (int n = 0; n < 288; ++n) literal_lengths[n] = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
    std::array<std::uint8_t, 30> distance_lengths{};
    distance_lengths.fill(5);
    Code literals, distances;
    literals.Build(literal_lengths);
    distances.Build(distance_lengths);
    return ReadSymbols(literals, distances, block);
  }

  bool ReadDynamic(DeflateBlock& block) {
    const int literal_count = in_.Bits(5) + 257;
    const int distance_count = in_.Bits(5) + 1;
    const int code_length_count = in_.Bits(4) + 4;
    std::array<std::uint8_t, 19> code_length_lengths{};
    for (int i = 0; i < code_length_count; ++i) {
      code_length_lengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(in_.Bits(3));
    }
    Code code_lengths;
    if (!code_lengths.Build(code_length_lengths)) return false;
    std::vector<std::uint8_t> lengths;
    while (lengths.size() < static_cast<std::size_t>(literal_count + distance_count)) {
      const int symbol = code_lengths.Decode(in_);
      if (symbol < 0) return false;
      if (symbol < 16) {
        lengths.push_back(static_cast<std::uint8_t>(symbol));
        continue;
      }
      if (symbol == 16 && lengths.empty()) return false;
      const std::uint8_t repeated = symbol == 16 ? lengths.back() : 0;
      const int times = symbol == 16   ? 3 + in_.Bits(2)
                        : symbol == 17 ? 3 + in_.Bits(3)
                                       : 11 + in_.Bits(7);
      lengths.insert(lengths.end(), times, repeated);
    }
    if (lengths.size() != static_cast<std::size_t>(literal_count + distance_count)) return false;
    Code literals, distances;
    return literals.Build(std::span(lengths).first(literal_count)) &&
           distances.Build(std::span(lengths).subspan(literal_count)) &&
           ReadSymbols(literals, distances, block);
  }

  bool ReadSymbols(const Code& literals, const Code& distances, DeflateBlock& block) {
    for (;;) {
      const int symbol = literals.Decode(in_);
      if (symbol < 0 || symbol > 285) return false;
      if (symbol == 256) return true;
      DeflateSymbol coded{stream_.output.size()};
      if (symbol < 256) {
        coded.literal = symbol;
        stream_.output.push_back(static_cast<std::uint8_t>(symbol));
      } else if (!ReadMatch(symbol - 257, distances, coded)) {
        return false;
      }
      block.symbols.push_back(coded);
    }
  }

  bool ReadMatch(int length_code, const Code& distances, DeflateSymbol& coded) {
    coded.length = kLengthBase[length_code] + in_.Bits(kLengthExtra[length_code]);
    const int distance_code = distances.Decode(in_);
    if (distance_code < 0 || distance_code >= 30) return false;
    coded.distance = kDistanceBase[distance_code] + in_.Bits(kDistanceExtra[distance_code]);
    const std::size_t reach = history_.size() + stream_.output.size();
    if (static_cast<std::size_t>(coded.distance) > reach) return false;
    for (int i = 0; i < coded.length; ++i) {
      const std::size_t back = static_cast<std::size_t>(coded.distance);
      const std::size_t size = stream_.output.size();
      stream_.output.push_back(back <= size ? stream_.output[size - back]
                                            : history_[history_.size() - (back - size)]);
    }
    return true;
  }

  BitReader in_;
  std::span<const std::uint8_t> history_;
  DeflateStream stream_;
};

}  // namespace

std::optional<DeflateStream> ReadDeflate(std::span<const std::uint8_t> data,
                                         std::span<const std::uint8_t> history) {
  return Reader(data, history).Read();
}

}  // namespace kb::test

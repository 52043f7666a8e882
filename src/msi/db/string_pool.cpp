#include "msi/db/string_pool.h"

#include <algorithm>

#include "msi/db/byte_order.h"

namespace kb::msi {
namespace {

constexpr std::uint32_t kLongRefsFlag = 0x80000000;

}  // namespace

std::optional<StringPool> StringPool::Decode(std::span<const std::byte> pool,
                                             std::span<const std::byte> data) {
  if (pool.size() < 4 || pool.size() % 4 != 0) return std::nullopt;
  StringPool result;
  const std::uint32_t header = ReadLittleEndian(pool, 0, 4);
  result.code_page_ = static_cast<int>(header & ~kLongRefsFlag);
  result.stored_ref_width_ = (header & kLongRefsFlag) != 0 ? 3 : 2;
  std::size_t data_offset = 0;
  for (std::size_t at = 4; at < pool.size(); at += 4) {
    std::size_t length = ReadLittleEndian(pool, at, 2);
    const std::uint32_t count = ReadLittleEndian(pool, at + 2, 2);
    if (length == 0 && count != 0) {  // first half of a long string
      if (at + 8 > pool.size()) return std::nullopt;
      at += 4;
      length = (std::size_t{count} << 16) | ReadLittleEndian(pool, at, 2);
    }
    if (length > data.size() - data_offset) return std::nullopt;
    const auto begin = reinterpret_cast<const char*>(data.data()) + data_offset;
    std::string text(begin, length);
    data_offset += length;
    const auto id = static_cast<std::uint32_t>(result.strings_.size());
    if (text.empty()) {
      result.free_ids_.push_back(id);
    } else {
      result.ids_.emplace(text, id);  // a duplicate keeps its first id for lookups
    }
    result.strings_.push_back(std::move(text));
  }
  if (data_offset != data.size()) return std::nullopt;
  std::reverse(result.free_ids_.begin(), result.free_ids_.end());
  return result;
}

StringPool::Encoded StringPool::Encode(std::span<const std::uint32_t> counts) const {
  const bool long_refs = RefWidthForWriting() == 3;
  Encoded out;
  AppendLittleEndian(out.pool,
                     static_cast<std::uint32_t>(code_page_) | (long_refs ? kLongRefsFlag : 0), 4);
  for (std::uint32_t id = 1; id < strings_.size(); ++id) {
    const std::uint32_t count = id < counts.size() ? counts[id] : 0;
    const std::string& text = count == 0 ? strings_[0] : strings_[id];
    if (text.size() > 0xFFFF) {
      AppendLittleEndian(out.pool, 0, 2);
      AppendLittleEndian(out.pool, text.size() >> 16, 2);
    }
    AppendLittleEndian(out.pool, text.size() & 0xFFFF, 2);
    AppendLittleEndian(out.pool, std::min<std::uint32_t>(count, 0xFFFF), 2);
    const auto bytes = reinterpret_cast<const std::byte*>(text.data());
    out.data.insert(out.data.end(), bytes, bytes + text.size());
  }
  return out;
}

std::string_view StringPool::Get(std::uint32_t id) const {
  return id < strings_.size() ? std::string_view(strings_[id]) : std::string_view();
}

std::optional<std::uint32_t> StringPool::Find(std::string_view bytes) const {
  const auto it = ids_.find(std::string(bytes));
  if (it == ids_.end()) return std::nullopt;
  return it->second;
}

std::uint32_t StringPool::Intern(std::string_view bytes) {
  if (bytes.empty()) return 0;
  if (const auto found = Find(bytes)) return *found;
  std::uint32_t id = 0;
  if (!free_ids_.empty()) {
    id = free_ids_.back();
    free_ids_.pop_back();
    strings_[id] = std::string(bytes);
  } else {
    id = static_cast<std::uint32_t>(strings_.size());
    strings_.emplace_back(bytes);
  }
  ids_.emplace(std::string(bytes), id);
  return id;
}

}  // namespace kb::msi

#ifndef KITBINDER_MSI_DB_STRING_POOL_H_
#define KITBINDER_MSI_DB_STRING_POOL_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kb::msi {

// The database's shared string pool: every string cell of every table is a reference (an id
// from 1) into it; 0 means null. Strings are kept as the bytes of the database's code page.
//
// Stored as two streams: `_StringPool` holds a 4-byte header (the code page, with bit 31 set
// when references are 3 bytes wide) and one (length, reference count) pair of 16-bit words per
// id; a string of 64 KiB or more takes two pairs, (0, high word of its length) then (low word,
// count). An unused id is (0, 0). `_StringData` holds the strings' bytes back to back in id
// order.
//
// Ids stay stable for the life of the pool: a string nobody references is written as an unused
// id and its id is handed out again only after a reload.
class StringPool {
 public:
  struct Encoded {
    std::vector<std::byte> pool;
    std::vector<std::byte> data;
  };

  StringPool() = default;

  // Parses the two streams; nullopt when they contradict each other.
  [[nodiscard]] static std::optional<StringPool> Decode(std::span<const std::byte> pool,
                                                        std::span<const std::byte> data);

  // Writes the pool with reference counts `counts` (indexed by id; ids past its end and ids
  // with a count of 0 are written as unused).
  Encoded Encode(std::span<const std::uint32_t> counts) const;

  int code_page() const { return code_page_; }
  void set_code_page(int code_page) { code_page_ = code_page; }

  // Width in bytes of a string reference in the table streams: as stored when loaded, and for
  // writing, 3 once the pool holds more than 65,535 ids.
  unsigned stored_ref_width() const { return stored_ref_width_; }
  unsigned RefWidthForWriting() const { return size() > 0xFFFF ? 3 : 2; }
  // Records that the tables were written with RefWidthForWriting().
  void MarkWritten() { stored_ref_width_ = RefWidthForWriting(); }

  // The highest id handed out.
  std::uint32_t size() const { return static_cast<std::uint32_t>(strings_.size()) - 1; }

  // The string of `id`; empty for 0, unused or unknown ids.
  std::string_view Get(std::uint32_t id) const;
  // True when a cell may hold `id`: 0 (null) or the id of a string the pool holds. A table
  // stream from a damaged file can hold any number.
  bool Holds(std::uint32_t id) const { return id == 0 || !Get(id).empty(); }
  // The id of `bytes`, if the pool holds it; nullopt for empty text.
  [[nodiscard]] std::optional<std::uint32_t> Find(std::string_view bytes) const;
  // The id of `bytes`, adding it when new (into the lowest unused id). 0 for empty text.
  std::uint32_t Intern(std::string_view bytes);

 private:
  int code_page_ = 0;
  unsigned stored_ref_width_ = 2;
  std::vector<std::string> strings_{1};  // index = id; [0] is the null string
  std::unordered_map<std::string, std::uint32_t> ids_;
  std::vector<std::uint32_t> free_ids_;  // unused ids from the stored pool, highest first
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_STRING_POOL_H_

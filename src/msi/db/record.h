#ifndef KITBINDER_MSI_DB_RECORD_H_
#define KITBINDER_MSI_DB_RECORD_H_

#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "msi/db/stream_source.h"

namespace kb::msi {

// The installer's null integer: what MsiRecordGetInteger answers for a field without one.
inline constexpr int kNullInteger = INT_MIN;

struct StreamField {
  std::shared_ptr<const StreamSource> source;
  std::uint64_t position = 0;  // where the next MsiRecordReadStream continues

  bool operator==(const StreamField& other) const { return source == other.source; }
};

// A field's value: null, an integer, UTF-8 text (never empty: empty text is null) or a stream.
using FieldValue = std::variant<std::monostate, int, std::string, StreamField>;

// Where a fetched record came from, so that a later modify finds its row again.
struct FetchOrigin {
  std::uint64_t view_id = 0;
  std::vector<std::vector<FieldValue>> keys;  // the row's primary key values in each table
};

// A record: fields 0 to field_count(), each null until set (field 0 is the installer's extra
// field, used for formats and table names).
class Record {
 public:
  explicit Record(unsigned field_count) : fields_(field_count + 1) {}

  unsigned field_count() const { return static_cast<unsigned>(fields_.size() - 1); }

  // The field's value; null past the last field.
  const FieldValue& Get(unsigned field) const;
  bool IsNull(unsigned field) const { return std::holds_alternative<std::monostate>(Get(field)); }
  // Text of the field: integers in decimal, null as empty text; nullopt for a stream.
  [[nodiscard]] std::optional<std::string> GetString(unsigned field) const;
  // The integer of the field (text holding a decimal integer counts); kNullInteger otherwise.
  int GetInteger(unsigned field) const;

  // Setters answer false, changing nothing, for a field past field_count().
  [[nodiscard]] bool Set(unsigned field, FieldValue value);
  [[nodiscard]] bool SetString(unsigned field, std::string_view text);
  [[nodiscard]] bool SetInteger(unsigned field, int value);
  // The field becomes the stream of the file at `path`. False when it cannot be opened.
  [[nodiscard]] bool SetStreamFromFile(unsigned field, const std::string& path);
  // The field becomes the stream of the file at `path` followed by the first `rest_size` bytes
  // of the open file `rest` (see FileStreamSource::Join). False when they cannot be read.
  [[nodiscard]] bool SetStreamFromJoinedFiles(unsigned field, const std::string& path, int rest,
                                              std::uint64_t rest_size);
  // Moves a stream field's read position back to its start; false for any other field.
  [[nodiscard]] bool RewindStream(unsigned field);
  // Reads the next bytes of a stream field; nullopt when the field is no stream or a read failed.
  [[nodiscard]] std::optional<std::size_t> ReadStream(unsigned field, std::span<std::byte> out);
  // Bytes of a stream field not yet read; nullopt when the field is no stream.
  [[nodiscard]] std::optional<std::uint64_t> StreamRemaining(unsigned field) const;
  // True when the field holds a sub-storage (see StreamSource::is_storage).
  bool HoldsStorage(unsigned field) const {
    const auto* stream = std::get_if<StreamField>(&Get(field));
    return stream != nullptr && stream->source->is_storage();
  }

  const std::optional<FetchOrigin>& origin() const { return origin_; }
  void set_origin(FetchOrigin origin) { origin_ = std::move(origin); }

 private:
  StreamField* MutableStream(unsigned field);

  std::vector<FieldValue> fields_;
  std::optional<FetchOrigin> origin_;
};

// Parses a whole decimal integer ("-12"); nullopt for anything else.
[[nodiscard]] std::optional<int> ParseInteger(std::string_view text);

// The integer a value stands for: an integer, or text holding one; nullopt otherwise.
[[nodiscard]] std::optional<int> IntegerOf(const FieldValue& value);

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_RECORD_H_

#ifndef KITBINDER_MSI_DB_SUMMARY_INFORMATION_H_
#define KITBINDER_MSI_DB_SUMMARY_INFORMATION_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "msi/db/error_code.h"
#include "msi/storage/compound_file.h"

namespace kb::msi {

// A FILETIME: 100-nanosecond intervals since 1601-01-01 00:00 UTC.
struct FileTime {
  std::uint64_t ticks = 0;
  bool operator==(const FileTime&) const = default;
};

// The database's summary information: the "\005SummaryInformation" property set (one section,
// FMTID_SummaryInformation) of code page, texts, 16- and 32-bit integers and file times.
// Texts are UTF-8 here and stored in the code page that property 1 names (Windows-1252 when it
// names none).
class SummaryInformation {
 public:
  using Value = std::variant<std::monostate, int, std::string, FileTime>;

  // The name of the stream in the storage.
  static const std::u16string& StreamName();

  // nullopt for bytes that are no property set of this kind, or whose code page property names
  // a code page the engine does not convert.
  [[nodiscard]] static std::optional<SummaryInformation> Decode(std::span<const std::byte> stream);
  std::vector<std::byte> Encode() const;

  // The summary information of a storage: empty when it has none, nullopt when it is damaged
  // or refused as Decode says.
  [[nodiscard]] static std::optional<SummaryInformation> Load(const CompoundFile& storage);
  // Stages it into the storage (it reaches the file with the storage's commit).
  ErrorCode Persist(CompoundFile& storage) const;

  // The value of property `id`; monostate when it is not set.
  Value Get(unsigned id) const;
  // Sets property `id` (monostate removes it). kUnknownProperty for an id the installer does not
  // define; kDatatypeMismatch for a value of the wrong kind; kFunctionFailed for text the code
  // page cannot hold.
  ErrorCode Set(unsigned id, Value value);
  std::size_t size() const { return properties_.size(); }
  // The ids set, ascending.
  std::vector<unsigned> Ids() const;

  // A property's value from its text in an archive file: an integer, a time as
  // "yyyy/mm/dd hh:mm:ss" (years 1601 to 30827, as a file time holds them), or text, as the
  // id requires. nullopt when the text does not fit.
  [[nodiscard]] static std::optional<Value> ParseArchiveValue(unsigned id, std::string_view text);
  static std::string FormatArchiveValue(const Value& value);

 private:
  int StringCodePage() const;

  std::map<unsigned, Value> properties_;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_SUMMARY_INFORMATION_H_

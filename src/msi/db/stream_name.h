#ifndef KITBINDER_MSI_DB_STREAM_NAME_H_
#define KITBINDER_MSI_DB_STREAM_NAME_H_

#include <optional>
#include <string>
#include <string_view>

namespace kb::msi {

// The installer stores table and stream names in the compound file folded into the private-use
// range from 0x3800: pairs of characters from [0-9A-Za-z._] share one UTF-16 unit, single ones
// take one, and table streams start with the unit 0x4840.

// The directory name of a table's stream, or of a stream named `name` (ASCII as the installer
// writes it; other characters are stored unfolded).
std::u16string EncodeStreamName(std::string_view name, bool is_table);

struct DecodedStreamName {
  std::string name;  // UTF-8
  bool is_table = false;
};

// Undoes EncodeStreamName. Names that were never folded (such as "\005SummaryInformation")
// come back unchanged, with is_table false.
DecodedStreamName DecodeStreamName(std::u16string_view stored);

// The directory name of a sub-storage named `name`: the installer stores these unfolded, so
// that other programs open them by their plain names.
std::u16string EncodeStorageName(std::string_view name);
// Undoes EncodeStorageName.
std::string DecodeStorageName(std::u16string_view stored);

}  // namespace kb::msi

#endif  // KITBINDER_MSI_DB_STREAM_NAME_H_

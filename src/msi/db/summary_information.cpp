#include "msi/db/summary_information.h"

#include <cstdio>

#include "msi/db/byte_order.h"
#include "msi/db/code_page_text.h"
#include "msi/db/record.h"

namespace kb::msi {
namespace {

constexpr unsigned kVtI2 = 2;
constexpr unsigned kVtI4 = 3;
constexpr unsigned kVtLpstr = 30;
constexpr unsigned kVtFiletime = 64;
constexpr unsigned kCodePageId = 1;
constexpr std::uint32_t kSectionOffset = 48;
// The last year a file time reaches (its 63-bit count of 100 ns ends in September 30828).
constexpr int kLastYear = 30827;
// Windows NT, as the high word of the header's system identifier says.
constexpr std::uint32_t kSystemIdentifier = 0x00020005;
constexpr std::byte kFormatId[16] = {
    std::byte{0xE0}, std::byte{0x85}, std::byte{0x9F}, std::byte{0xF2},
    std::byte{0xF9}, std::byte{0x4F}, std::byte{0x68}, std::byte{0x10},
    std::byte{0xAB}, std::byte{0x91}, std::byte{0x08}, std::byte{0x00},
    std::byte{0x2B}, std::byte{0x27}, std::byte{0xB3}, std::byte{0xD9}};

// The stored type of each property the installer defines; 0 for undefined ids.
unsigned TypeOf(unsigned id) {
  if (id == kCodePageId) return kVtI2;
  if ((id >= 2 && id <= 9) || id == 18) return kVtLpstr;
  if (id >= 10 && id <= 13) return kVtFiletime;
  if ((id >= 14 && id <= 16) || id == 19) return kVtI4;
  return 0;
}

constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kDaysFrom1601To1970 = 134774;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

std::optional<FileTime> ParseTime(std::string_view text) {
  int y = 0;
  unsigned mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char tail = 0;
  const std::string copy(text);
  if (std::sscanf(copy.c_str(), "%d/%u/%u %u:%u:%u%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6 ||
      y < 1601 || y > kLastYear || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 ||
      s > 59) {
    return std::nullopt;
  }
  const std::int64_t days = DaysFromCivil(y, mo, d) + kDaysFrom1601To1970;
  const std::uint64_t seconds = static_cast<std::uint64_t>(days) * 86400 + h * 3600 + mi * 60 + s;
  return FileTime{seconds * kTicksPerSecond};
}

std::string FormatTime(FileTime time) {
  const std::uint64_t seconds = time.ticks / kTicksPerSecond;
  int y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(static_cast<std::int64_t>(seconds / 86400) - kDaysFrom1601To1970, y, m, d);
  const unsigned rest = static_cast<unsigned>(seconds % 86400);
  char text[40];
  std::snprintf(text, sizeof text, "%04d/%02u/%02u %02u:%02u:%02u", y, m, d, rest / 3600,
                rest / 60 % 60, rest % 60);
  return text;
}

// The code page a stored 16-bit property names: 65001 is stored as the short -535.
int CodePageOf(int stored) {
  return static_cast<std::uint16_t>(stored);
}

void PadToFour(std::vector<std::byte>& out) {
  while (out.size() % 4 != 0) out.push_back(std::byte{0});
}

}  // namespace

const std::u16string& SummaryInformation::StreamName() {
  static const std::u16string kName = u"\u0005SummaryInformation";
  return kName;
}

int SummaryInformation::StringCodePage() const {
  const auto it = properties_.find(kCodePageId);
  const int* code_page = it == properties_.end() ? nullptr : std::get_if<int>(&it->second);
  return code_page != nullptr && IsSupportedCodePage(CodePageOf(*code_page))
             ? CodePageOf(*code_page)
             : kWindows1252;
}

std::optional<SummaryInformation> SummaryInformation::Decode(std::span<const std::byte> stream) {
  if (stream.size() < kSectionOffset + 8 || ReadLittleEndian(stream, 0, 2) != 0xFFFE) {
    return std::nullopt;
  }
  const std::uint32_t section = ReadLittleEndian(stream, 44, 4);
  if (section > stream.size() - 8) return std::nullopt;
  const std::uint32_t count = ReadLittleEndian(stream, section + 4, 4);
  if (count > (stream.size() - section - 8) / 8) return std::nullopt;
  SummaryInformation info;
  std::map<unsigned, std::string> raw_texts;
  for (std::uint32_t i = 0; i < count; ++i) {
    const unsigned id = ReadLittleEndian(stream, section + 8 + i * 8, 4);
    const std::size_t at = section + std::size_t{ReadLittleEndian(stream, section + 12 + i * 8, 4)};
    if (at > stream.size() - 8) return std::nullopt;
    const unsigned type = ReadLittleEndian(stream, at, 2);
    if (type == kVtI2) {
      info.properties_[id] =
          static_cast<int>(static_cast<std::int16_t>(ReadLittleEndian(stream, at + 4, 2)));
    } else if (type == kVtI4) {
      info.properties_[id] = static_cast<int>(ReadLittleEndian(stream, at + 4, 4));
    } else if (type == kVtFiletime && at + 12 <= stream.size()) {
      info.properties_[id] = FileTime{ReadLittleEndian(stream, at + 4, 4) |
                                      std::uint64_t{ReadLittleEndian(stream, at + 8, 4)} << 32};
    } else if (type == kVtLpstr) {
      const std::size_t length = ReadLittleEndian(stream, at + 4, 4);
      if (length > stream.size() - at - 8) return std::nullopt;
      std::string text(reinterpret_cast<const char*>(stream.data()) + at + 8, length);
      raw_texts[id] = text.substr(0, text.find('\0'));
    }  // other types (a thumbnail) are not kept
  }
  // Texts in a code page the engine does not convert cannot be read or written truly: such a
  // summary is refused as a database in one is.
  const auto code_page = info.properties_.find(kCodePageId);
  if (code_page != info.properties_.end() && std::holds_alternative<int>(code_page->second) &&
      !IsSupportedCodePage(CodePageOf(std::get<int>(code_page->second)))) {
    return std::nullopt;
  }
  for (auto& [id, text] : raw_texts) {
    info.properties_[id] = DecodeText(text, info.StringCodePage()).value_or(std::string());
  }
  return info;
}

std::vector<std::byte> SummaryInformation::Encode() const {
  std::vector<std::byte> values;
  std::vector<std::pair<unsigned, std::size_t>> offsets;
  const std::size_t table_size = 8 + 8 * properties_.size();
  for (const auto& [id, value] : properties_) {
    offsets.emplace_back(id, table_size + values.size());
    const unsigned type = TypeOf(id);
    AppendLittleEndian(values, type, 4);
    if (type == kVtLpstr) {
      std::string text = EncodeText(std::get<std::string>(value), StringCodePage()).value_or("");
      text.push_back('\0');
      AppendLittleEndian(values, text.size(), 4);
      for (const char c : text) values.push_back(static_cast<std::byte>(c));
    } else if (type == kVtFiletime) {
      AppendLittleEndian(values, std::get<FileTime>(value).ticks, 8);
    } else {
      AppendLittleEndian(values, static_cast<std::uint32_t>(std::get<int>(value)),
                         type == kVtI2 ? 2 : 4);
    }
    PadToFour(values);
  }
  std::vector<std::byte> out;
  AppendLittleEndian(out, 0xFFFE, 2);
  AppendLittleEndian(out, 0, 2);
  AppendLittleEndian(out, kSystemIdentifier, 4);
  out.resize(out.size() + 16);  // CLSID: none
  AppendLittleEndian(out, 1, 4);
  out.insert(out.end(), std::begin(kFormatId), std::end(kFormatId));
  AppendLittleEndian(out, kSectionOffset, 4);
  AppendLittleEndian(out, table_size + values.size(), 4);
  AppendLittleEndian(out, properties_.size(), 4);
  for (const auto& [id, offset] : offsets) {
    AppendLittleEndian(out, id, 4);
    AppendLittleEndian(out, offset, 4);
  }
  out.insert(out.end(), values.begin(), values.end());
  return out;
}

std::optional<SummaryInformation> SummaryInformation::Load(const CompoundFile& storage) {
  constexpr std::size_t kLimit = 1 << 20;
  StorageError error = StorageError::kNone;
  const auto stream = storage.ReadWholeStream(StreamName(), kLimit, &error);
  if (!stream) {
    if (error == StorageError::kNotFound) return SummaryInformation();
    return std::nullopt;
  }
  return Decode(*stream);
}

ErrorCode SummaryInformation::Persist(CompoundFile& storage) const {
  return storage.WriteStream(StreamName(), Encode()) == StorageError::kNone ? kSuccess
                                                                            : kFunctionFailed;
}

SummaryInformation::Value SummaryInformation::Get(unsigned id) const {
  const auto it = properties_.find(id);
  return it == properties_.end() ? Value() : it->second;
}

ErrorCode SummaryInformation::Set(unsigned id, Value value) {
  const unsigned type = TypeOf(id);
  if (type == 0) return kUnknownProperty;
  if (std::holds_alternative<std::monostate>(value)) {
    properties_.erase(id);
    return kSuccess;
  }
  const bool fits = type == kVtLpstr      ? std::holds_alternative<std::string>(value)
                    : type == kVtFiletime ? std::holds_alternative<FileTime>(value)
                                          : std::holds_alternative<int>(value);
  if (!fits) return kDatatypeMismatch;
  if (type == kVtI2 && (std::get<int>(value) < -32768 || std::get<int>(value) > 32767)) {
    return kDatatypeMismatch;
  }
  if (type == kVtI2 && !IsSupportedCodePage(std::get<int>(value))) return kFunctionFailed;
  if (type == kVtLpstr && !EncodeText(std::get<std::string>(value), StringCodePage())) {
    return kFunctionFailed;
  }
  properties_[id] = std::move(value);
  return kSuccess;
}

std::vector<unsigned> SummaryInformation::Ids() const {
  std::vector<unsigned> ids;
  for (const auto& [id, value] : properties_) ids.push_back(id);
  return ids;
}

std::optional<SummaryInformation::Value> SummaryInformation::ParseArchiveValue(
    unsigned id, std::string_view text) {
  switch (TypeOf(id)) {
    case kVtLpstr:
      return Value(std::string(text));
    case kVtFiletime:
      if (auto time = ParseTime(text)) return Value(*time);
      return std::nullopt;
    case kVtI2:
    case kVtI4:
      if (auto number = ParseInteger(text)) return Value(*number);
      return std::nullopt;
  }
  return std::nullopt;
}

std::string SummaryInformation::FormatArchiveValue(const Value& value) {
  if (const auto* number = std::get_if<int>(&value)) return std::to_string(*number);
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* time = std::get_if<FileTime>(&value)) return FormatTime(*time);
  return std::string();
}

}  // namespace kb::msi

#include "msi/db/record.h"

#include <charconv>

namespace kb::msi {

std::optional<int> ParseInteger(std::string_view text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto parsed = std::from_chars(text.data(), end, value);
  if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end) return std::nullopt;
  return value;
}

std::optional<int> IntegerOf(const FieldValue& value) {
  if (const auto* number = std::get_if<int>(&value)) return *number;
  if (const auto* text = std::get_if<std::string>(&value)) return ParseInteger(*text);
  return std::nullopt;
}

const FieldValue& Record::Get(unsigned field) const {
  static const FieldValue kNull;
  return field < fields_.size() ? fields_[field] : kNull;
}

std::optional<std::string> Record::GetString(unsigned field) const {
  const FieldValue& value = Get(field);
  if (const auto* number = std::get_if<int>(&value)) return std::to_string(*number);
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (std::holds_alternative<StreamField>(value)) return std::nullopt;
  return std::string();
}

int Record::GetInteger(unsigned field) const {
  return IntegerOf(Get(field)).value_or(kNullInteger);
}

bool Record::Set(unsigned field, FieldValue value) {
  if (field >= fields_.size()) return false;
  fields_[field] = std::move(value);
  return true;
}

bool Record::SetString(unsigned field, std::string_view text) {
  if (text.empty()) return Set(field, std::monostate());
  return Set(field, std::string(text));
}

bool Record::SetInteger(unsigned field, int value) {
  if (value == kNullInteger) return Set(field, std::monostate());
  return Set(field, value);
}

bool Record::SetStreamFromFile(unsigned field, const std::string& path) {
  if (field >= fields_.size()) return false;
  auto source = FileStreamSource::Open(path);
  if (!source) return false;
  return Set(field, StreamField{std::move(source), 0});
}

bool Record::SetStreamFromJoinedFiles(unsigned field, const std::string& path, int rest,
                                      std::uint64_t rest_size) {
  if (field >= fields_.size()) return false;
  auto source = FileStreamSource::Join(path, rest, rest_size);
  if (!source) return false;
  return Set(field, StreamField{std::move(source), 0});
}

StreamField* Record::MutableStream(unsigned field) {
  return field < fields_.size() ? std::get_if<StreamField>(&fields_[field]) : nullptr;
}

bool Record::RewindStream(unsigned field) {
  StreamField* stream = MutableStream(field);
  if (stream == nullptr) return false;
  stream->position = 0;
  return true;
}

std::optional<std::size_t> Record::ReadStream(unsigned field, std::span<std::byte> out) {
  StreamField* stream = MutableStream(field);
  if (stream == nullptr) return std::nullopt;
  const auto got = stream->source->Read(stream->position, out);
  if (got) stream->position += *got;
  return got;
}

std::optional<std::uint64_t> Record::StreamRemaining(unsigned field) const {
  const auto* stream = std::get_if<StreamField>(&Get(field));
  if (stream == nullptr) return std::nullopt;
  const std::uint64_t size = stream->source->size();
  return stream->position < size ? size - stream->position : 0;
}

}  // namespace kb::msi

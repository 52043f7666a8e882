#include "msi/sql/sql_values.h"

#include <variant>

#include "msi/sql/overloaded.h"

namespace kb::msi {

bool IsNull(const FieldValue& value) {
  return std::get_if<std::monostate>(&value) != nullptr;
}

bool IsInteger(const ColumnType& type) {
  return type.kind() == ColumnType::Kind::kShort || type.kind() == ColumnType::Kind::kLong;
}

std::optional<int> CompareValues(const FieldValue& a, const FieldValue& b) {
  const auto* text_a = std::get_if<std::string>(&a);
  const auto* text_b = std::get_if<std::string>(&b);
  if (text_a && text_b) return text_a->compare(*text_b) < 0 ? -1 : *text_a == *text_b ? 0 : 1;
  const auto number_a = IntegerOf(a);
  const auto number_b = IntegerOf(b);
  if (!number_a || !number_b) return std::nullopt;
  const int x = number_a.value_or(0);
  const int y = number_b.value_or(0);
  return x < y ? -1 : x == y ? 0 : 1;
}

std::optional<std::string> ValueText(const FieldValue& value) {
  using Text = std::optional<std::string>;
  return std::visit(Overloaded{[](std::monostate) -> Text { return "n"; },
                               [](int number) -> Text { return 'i' + std::to_string(number); },
                               [](const std::string& text) -> Text {
                                 return 's' + std::to_string(text.size()) + ':' + text;
                               },
                               [](const StreamField&) -> Text { return std::nullopt; }},
                    value);
}

bool Satisfies(SqlCompare compare, const FieldValue& a, const FieldValue& b) {
  if (compare == SqlCompare::kIsNull) return IsNull(a);
  if (compare == SqlCompare::kIsNotNull) return !IsNull(a);
  if (IsNull(a) || IsNull(b)) {
    return compare == SqlCompare::kEqual      ? IsNull(a) && IsNull(b)
           : compare == SqlCompare::kNotEqual ? IsNull(a) != IsNull(b)
                                              : false;
  }
  const auto order = CompareValues(a, b);
  if (!order) return compare == SqlCompare::kNotEqual;
  switch (compare) {
    case SqlCompare::kEqual:
      return *order == 0;
    case SqlCompare::kNotEqual:
      return *order != 0;
    case SqlCompare::kLess:
      return *order < 0;
    case SqlCompare::kGreater:
      return *order > 0;
    case SqlCompare::kLessEqual:
      return *order <= 0;
    case SqlCompare::kGreaterEqual:
      return *order >= 0;
    default:
      return false;
  }
}

}  // namespace kb::msi

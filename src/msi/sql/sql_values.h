#ifndef KITBINDER_MSI_SQL_SQL_VALUES_H_
#define KITBINDER_MSI_SQL_SQL_VALUES_H_

#include <optional>
#include <string>

#include "msi/db/column_type.h"
#include "msi/db/record.h"
#include "msi/sql/sql_statement.h"

namespace kb::msi {

// How the installer's SQL sees field values: what is null, how two values compare, and when
// they are equal.

bool IsNull(const FieldValue& value);

// Whether a column holds integers (short or long).
bool IsInteger(const ColumnType& type);

// Three-way comparison of two non-null values: text with text by bytes, otherwise as
// integers; nullopt when they cannot be compared (a stream, or text against a number).
[[nodiscard]] std::optional<int> CompareValues(const FieldValue& a, const FieldValue& b);

// A value as text that equals another value's exactly when the values are equal for the
// installer's `=`, null included; nullopt for a stream, which equals nothing.
[[nodiscard]] std::optional<std::string> ValueText(const FieldValue& value);

// Whether `a compare b` holds (b unused for IS [NOT] NULL). A null equals only a null and is
// ordered against nothing; values that cannot be compared are only unequal.
bool Satisfies(SqlCompare compare, const FieldValue& a, const FieldValue& b);

}  // namespace kb::msi

#endif  // KITBINDER_MSI_SQL_SQL_VALUES_H_

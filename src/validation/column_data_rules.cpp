#include <algorithm>
#include <array>
#include <cctype>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "validation/rules.h"

namespace kb::validation {
namespace {

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  std::istringstream stream(list);
  for (std::string item; std::getline(stream, item, ';');) items.push_back(item);
  return items;
}

bool IsIdentifier(std::string_view text) {
  if (text.empty() || std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.') {
    return false;
  }
  return std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
  });
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", hexadecimal digits in upper case.
bool IsGuid(std::string_view text) {
  constexpr std::string_view kShape = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
  if (text.size() != kShape.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool hex =
        std::isdigit(static_cast<unsigned char>(text[i])) || (text[i] >= 'A' && text[i] <= 'F');
    if (kShape[i] == 'X' ? !hex : text[i] != kShape[i]) return false;
  }
  return true;
}

// At most four numbers joined by '.', each at most 65535.
bool IsVersion(std::string_view text) {
  std::size_t parts = 0;
  std::string part;
  std::istringstream stream{std::string(text)};
  while (std::getline(stream, part, '.')) {
    if (++parts > 4 || part.empty() || part.size() > 5 ||
        !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoul(part) > 65535) {
      return false;
    }
  }
  return parts > 0 && text.back() != '.';
}

// Numbers joined by ','.
bool IsLanguage(std::string_view text) {
  return !text.empty() && text.front() != ',' && text.back() != ',' &&
         std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == ','; });
}

bool IsUpperCase(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

bool IsLowerCase(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

// Whether `value` fits the documented data category `category`; categories whose syntax is
// richer than a line can check (conditions, formatted text, paths) pass.
bool FitsCategory(std::string_view category, std::string_view value) {
  if (category == "Identifier") return IsIdentifier(value);
  if (category == "Guid") return IsGuid(value);
  if (category == "Version") return IsVersion(value);
  if (category == "Language") return IsLanguage(value);
  if (category == "UpperCase") return IsUpperCase(value);
  if (category == "LowerCase") return IsLowerCase(value);
  return true;
}

// The values of the `key_column`-th column (1-based) of each table of `key_tables`.
std::set<std::string> KeyValues(PackageTables& tables, const std::string& key_tables,
                                long long key_column) {
  std::set<std::string> values;
  for (const std::string& name : SplitList(key_tables)) {
    const Table& table = tables.Get(name);
    if (key_column < 1 || static_cast<std::size_t>(key_column) > table.columns().size()) continue;
    for (std::size_t row = 0; row < table.size(); ++row) {
      if (const auto& value = table.Field(row, static_cast<std::size_t>(key_column - 1))) {
        values.insert(*value);
      }
    }
  }
  return values;
}

// One _Validation row's checks, over every row of its table.
struct ColumnRule {
  std::string table;
  std::string column;
  bool nullable = true;
  std::optional<long long> min;
  std::optional<long long> max;
  std::string key_tables;
  long long key_column = 1;
  std::string category;
  std::vector<std::string> set;
};

std::optional<std::string> ColumnFault(const ColumnRule& rule, const Table& table, std::size_t row,
                                       const std::set<std::string>& keys) {
  const auto& value = table.Field(row, rule.column);
  if (!value) {
    return rule.nullable ? std::nullopt
                         : std::optional<std::string>(rule.column + " is null and may not be");
  }
  const auto number = table.Number(row, rule.column);
  if (number && ((rule.min && *number < *rule.min) || (rule.max && *number > *rule.max))) {
    return rule.column + " is " + *value + ", outside its range";
  }
  if (!rule.key_tables.empty() && !keys.contains(*value)) {
    return rule.column + " " + *value + " names no row of " + rule.key_tables;
  }
  if (!rule.set.empty() && std::find(rule.set.begin(), rule.set.end(), *value) == rule.set.end()) {
    return rule.column + " " + *value + " is none of the values allowed";
  }
  if (!FitsCategory(rule.category, *value)) {
    return rule.column + " " + *value + " is no valid " + rule.category;
  }
  return std::nullopt;
}

void CheckColumn(PackageTables& tables, const ColumnRule& rule, const char* rule_name,
                 Findings& findings) {
  const Table& table = tables.Get(rule.table);
  if (!table.ColumnIndex(rule.column)) return;
  const std::set<std::string> keys = rule.key_tables.empty()
                                         ? std::set<std::string>()
                                         : KeyValues(tables, rule.key_tables, rule.key_column);
  for (std::size_t row = 0; row < table.size(); ++row) {
    if (auto fault = ColumnFault(rule, table, row, keys)) {
      findings.push_back({Severity::kError, rule_name, rule.table, table.Key(row), *fault});
    }
  }
}

void CheckAgainstValidation(PackageTables& tables, Findings& findings) {
  const Table& validation = tables.Get("_Validation");
  for (std::size_t row = 0; row < validation.size(); ++row) {
    CheckColumn(
        tables,
        ColumnRule{validation.Text(row, "Table"), validation.Text(row, "Column"),
                   validation.Text(row, "Nullable") != "N", validation.Number(row, "MinValue"),
                   validation.Number(row, "MaxValue"), validation.Text(row, "KeyTable"),
                   validation.Number(row, "KeyColumn").value_or(1),
                   validation.Text(row, "Category"), SplitList(validation.Text(row, "Set"))},
        "ICE03", findings);
  }
}

// The references between the tables the other rules read, for packages without _Validation.
struct Reference {
  const char* table;
  const char* column;
  const char* key_table;
};
constexpr std::array kReferences = {
    Reference{"File", "Component_", "Component"},
    Reference{"Component", "Directory_", "Directory"},
    Reference{"Directory", "Directory_Parent", "Directory"},
    Reference{"FeatureComponents", "Feature_", "Feature"},
    Reference{"FeatureComponents", "Component_", "Component"},
    Reference{"Shortcut", "Component_", "Component"},
    Reference{"Shortcut", "Directory_", "Directory"},
    Reference{"Registry", "Component_", "Component"},
    Reference{"CreateFolder", "Directory_", "Directory"},
    Reference{"CreateFolder", "Component_", "Component"},
    Reference{"RemoveFile", "Component_", "Component"},
};

void CheckReferences(PackageTables& tables, Findings& findings) {
  for (const Reference& reference : kReferences) {
    ColumnRule rule;
    rule.table = reference.table;
    rule.column = reference.column;
    rule.key_tables = reference.key_table;
    CheckColumn(tables, rule, "foreign-key", findings);
  }
}

}  // namespace

void CheckColumnData(PackageTables& tables, Findings& findings) {
  if (tables.Has("_Validation")) {
    CheckAgainstValidation(tables, findings);
  } else {
    CheckReferences(tables, findings);
  }
}

}  // namespace kb::validation

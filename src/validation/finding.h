#ifndef KITBINDER_VALIDATION_FINDING_H_
#define KITBINDER_VALIDATION_FINDING_H_

#include <string>
#include <vector>

namespace kb::validation {

enum class Severity { kWarning, kError };

// One thing a rule found in a package.
struct Finding {
  Severity severity = Severity::kError;
  // The documented rule's name ("ICE08"), or for a rule the documentation does not number one
  // of our own in lower case ("file-version").
  std::string rule;
  std::string table;  // the table of the row at fault; empty for the package as a whole
  std::string row;    // that row's primary key, its fields joined by '.'
  std::string message;
};

using Findings = std::vector<Finding>;

// The finding as one line for the user: "error ICE08 Component.C1: <message>".
std::string FindingLine(const Finding& finding);

}  // namespace kb::validation

#endif  // KITBINDER_VALIDATION_FINDING_H_

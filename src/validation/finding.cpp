#include "validation/finding.h"

namespace kb::validation {

std::string FindingLine(const Finding& finding) {
  std::string line = finding.severity == Severity::kError ? "error " : "warning ";
  line += finding.rule;
  if (!finding.table.empty()) {
    line += ' ';
    line += finding.table;
    if (!finding.row.empty()) line += '.' + finding.row;
  }
  return line + ": " + finding.message;
}

}  // namespace kb::validation

#include "validation/validator.h"

#include <algorithm>

#include "validation/rules.h"

namespace kb::validation {

Findings ValidatePackage(PackageTables& tables) {
  Findings findings;
  CheckColumnData(tables, findings);
  CheckComponents(tables, findings);
  CheckProfileData(tables, findings);
  CheckUpgradeSequence(tables, findings);
  CheckPlatform(tables, findings);
  std::stable_partition(findings.begin(), findings.end(),
                        [](const Finding& f) { return f.severity == Severity::kError; });
  return findings;
}

bool HasErrors(const Findings& findings) {
  return std::any_of(findings.begin(), findings.end(),
                     [](const Finding& f) { return f.severity == Severity::kError; });
}

}  // namespace kb::validation

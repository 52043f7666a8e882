#ifndef KITBINDER_VALIDATION_VALIDATOR_H_
#define KITBINDER_VALIDATION_VALIDATOR_H_

#include "validation/finding.h"
#include "validation/package_tables.h"

namespace kb::validation {

// Every rule over the package, errors first, then warnings, each group in the rules' order.
Findings ValidatePackage(PackageTables& tables);

// Whether any finding is an error.
bool HasErrors(const Findings& findings);

}  // namespace kb::validation

#endif  // KITBINDER_VALIDATION_VALIDATOR_H_

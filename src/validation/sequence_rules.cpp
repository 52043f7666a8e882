#include <algorithm>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include "validation/rules.h"

namespace kb::validation {
namespace {

std::set<std::string> SecuredProperties(const Table& properties) {
  std::set<std::string> secured;
  const auto row = properties.Find("Property", "SecureCustomProperties");
  if (!row) return secured;
  std::istringstream list(properties.Text(*row, "Value"));
  for (std::string name; std::getline(list, name, ';');) secured.insert(name);
  return secured;
}

// ICE61: an Upgrade row's action property is public (upper case) and secured, so that the
// installer's server side sees what the search found, and the search alone sets it.
void CheckUpgradeProperties(PackageTables& tables, Findings& findings) {
  const Table& upgrades = tables.Get("Upgrade");
  const Table& properties = tables.Get("Property");
  const std::set<std::string> secured = SecuredProperties(properties);
  for (std::size_t row = 0; row < upgrades.size(); ++row) {
    const std::string action = upgrades.Text(row, "ActionProperty");
    const auto fault = [&](Severity severity, const std::string& message) {
      findings.push_back({severity, "ICE61", "Upgrade", upgrades.Key(row), message});
    };
    if (std::any_of(action.begin(), action.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
      fault(Severity::kError, "its action property " + action + " is not in upper case");
    }
    if (!secured.contains(action)) {
      fault(Severity::kError,
            "its action property " + action + " is not listed in SecureCustomProperties");
    }
    if (properties.Find("Property", action)) {
      fault(Severity::kWarning, "its action property " + action +
                                    " has a row in the Property table: only the search may set it");
    }
    if (!upgrades.Field(row, "VersionMin") && !upgrades.Field(row, "VersionMax")) {
      fault(Severity::kWarning,
            "it has neither a lowest nor a highest version: it matches every "
            "version of the product");
    }
  }
}

std::optional<long long> Sequence(const Table& sequence, std::string_view action) {
  const auto row = sequence.Find("Action", action);
  return row ? sequence.Number(*row, "Sequence") : std::nullopt;
}

// Whether `action` stands right after `after` in `sequence`, no other action between them.
bool RightAfter(const Table& sequence, long long after, long long action) {
  for (std::size_t row = 0; row < sequence.size(); ++row) {
    const auto number = sequence.Number(row, "Sequence");
    if (number && *number > after && *number < action) return false;
  }
  return true;
}

// ICE63: RemoveExistingProducts stands before InstallInitialize, right after it, after
// InstallExecute(Again), or after InstallFinalize; anywhere else the rollback of one product
// interleaves with the install of the other.
void CheckRemoveExistingProducts(PackageTables& tables, Findings& findings) {
  const Table& sequence = tables.Get("InstallExecuteSequence");
  const auto remove = Sequence(sequence, "RemoveExistingProducts");
  const auto validate = Sequence(sequence, "InstallValidate");
  const auto initialize = Sequence(sequence, "InstallInitialize");
  const auto finalize = Sequence(sequence, "InstallFinalize");
  if (!remove || !initialize || !finalize) return;
  auto execute = Sequence(sequence, "InstallExecute");
  if (const auto again = Sequence(sequence, "InstallExecuteAgain");
      !execute || (again && *again < *execute)) {
    execute = again;
  }
  const bool before_initialize = *remove < *initialize && (!validate || *remove > *validate);
  const bool after_initialize = *remove > *initialize && RightAfter(sequence, *initialize, *remove);
  const bool after_execute = execute && *remove > *execute && *remove < *finalize;
  if (before_initialize || after_initialize || after_execute || *remove > *finalize) return;
  const auto row = sequence.Find("Action", "RemoveExistingProducts");
  findings.push_back({Severity::kError, "ICE63", "InstallExecuteSequence", sequence.Key(*row),
                      "RemoveExistingProducts must stand between InstallValidate and "
                      "InstallInitialize, right after InstallInitialize, between InstallExecute "
                      "and InstallFinalize, or after InstallFinalize"});
}

}  // namespace

void CheckUpgradeSequence(PackageTables& tables, Findings& findings) {
  CheckUpgradeProperties(tables, findings);
  CheckRemoveExistingProducts(tables, findings);
}

}  // namespace kb::validation

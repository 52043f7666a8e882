#ifndef KITBINDER_MSI_API_SUMMARY_HANDLE_H_
#define KITBINDER_MSI_API_SUMMARY_HANDLE_H_

#include <memory>

#include "msi/db/database.h"
#include "msi/db/summary_information.h"

namespace kb::msi {

// What a summary information handle holds: the properties being read or edited and the
// database they persist into. One opened from a path (no database handle) owns its database
// and commits it when persisting.
struct SummaryHandle {
  std::shared_ptr<Database> database;
  SummaryInformation info;
  unsigned max_updates = 0;  // 0: read-only
  bool owns_database = false;
};

}  // namespace kb::msi

#endif  // KITBINDER_MSI_API_SUMMARY_HANDLE_H_

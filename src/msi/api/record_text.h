#ifndef KITBINDER_MSI_API_RECORD_TEXT_H_
#define KITBINDER_MSI_API_RECORD_TEXT_H_

#include <string>

#include "msi/api/msi_interface.h"

namespace kb::msi {

// The whole text of a record field (any length); empty for null, a stream or a bad handle.
std::string RecordText(MSIHANDLE record, UINT field);

}  // namespace kb::msi

#endif  // KITBINDER_MSI_API_RECORD_TEXT_H_

#include "msi/api/record_text.h"

namespace kb::msi {

std::string RecordText(MSIHANDLE record, UINT field) {
  DWORD size = 0;
  if (MsiRecordGetStringA(record, field, nullptr, &size) != ERROR_SUCCESS) return std::string();
  std::string text(size + 1, '\0');
  ++size;
  if (MsiRecordGetStringA(record, field, text.data(), &size) != ERROR_SUCCESS) return std::string();
  text.resize(size);
  return text;
}

}  // namespace kb::msi

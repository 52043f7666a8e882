#include "package/package_writer.h"

namespace kb {

CPackageWriter::~CPackageWriter() {
  if (database) database->CloseDatabase();
}

bool CPackageWriter::SetProperty(const std::string& name, const std::string& value) {
  if (!database) return false;
  msi::ScopedHandle parameters(MsiCreateRecord(2));
  if (MsiRecordSetStringA(parameters.get(), 1, value.c_str()) != ERROR_SUCCESS ||
      MsiRecordSetStringA(parameters.get(), 2, name.c_str()) != ERROR_SUCCESS ||
      !database->Execute("update `Property` set `Value`=? where `Property`=?", parameters.get())) {
    return false;
  }
  database->Commit();
  database->CloseView();
  return true;
}

}  // namespace kb

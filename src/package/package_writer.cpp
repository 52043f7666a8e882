#include "package/package_writer.h"

namespace kb {

CPackageWriter::~CPackageWriter() {
  if (database) database->CloseDatabase();
}

bool CPackageWriter::SetProperty(const std::string& name, const std::string& value) {
  if (!database ||
      !database->Execute("update `Property` set `Value`=? where `Property`=?", {value, name})) {
    return false;
  }
  database->Commit();
  database->CloseView();
  return true;
}

}  // namespace kb

#include "package/package_writer.h"

namespace kb {

CPackageWriter::~CPackageWriter() {
  // Nobody is left to be told; Build closes the database itself and reads the package back.
  if (database) static_cast<void>(database->CloseDatabase());
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

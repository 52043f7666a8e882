#include "package/installer_database.h"

#include <array>

namespace kb {
namespace {

constexpr DWORD kStringBufferSize = 10240;

}  // namespace

CInstallerDatabase::CInstallerDatabase(const std::string& path) {
  MSIHANDLE handle = 0;
  if (MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_TRANSACT, &handle) == ERROR_SUCCESS) {
    database_.Reset(handle);
  }
}

CInstallerDatabase::~CInstallerDatabase() { CloseDatabase(); }

bool CInstallerDatabase::Execute(std::string_view statement, MSIHANDLE parameters) {
  CloseView();
  if (!is_open()) return false;
  const std::string text(statement);
  MsiDatabaseOpenViewA(database_.get(), text.c_str(), view_.Receive());
  return view_.get() != 0 && MsiViewExecute(view_.get(), parameters) == ERROR_SUCCESS;
}

bool CInstallerDatabase::Fetch() {
  record_.Reset();
  if (view_.get() == 0) return false;
  const UINT result = MsiViewFetch(view_.get(), record_.Receive());
  if (result == ERROR_NO_MORE_ITEMS) CloseView();
  return result == ERROR_SUCCESS;
}

std::string CInstallerDatabase::GetString(unsigned field) const {
  if (record_.get() == 0) return std::string();
  std::array<char, kStringBufferSize> buffer{};
  DWORD size = kStringBufferSize;
  if (MsiRecordGetStringA(record_.get(), field, buffer.data(), &size) != ERROR_SUCCESS) {
    return std::string();
  }
  return std::string(buffer.data(), size);
}

bool CInstallerDatabase::SetStreamAndUpdate(unsigned field, const std::string& path) {
  return MsiRecordSetStreamA(record_.get(), field, path.c_str()) == ERROR_SUCCESS &&
         MsiViewModify(view_.get(), MSIMODIFY_UPDATE, record_.get()) == ERROR_SUCCESS;
}

bool CInstallerDatabase::Commit() { return MsiDatabaseCommit(database_.get()) == ERROR_SUCCESS; }

void CInstallerDatabase::CloseView() {
  if (view_.get() != 0) MsiViewClose(view_.get());
  view_.Reset();
  record_.Reset();
}

bool CInstallerDatabase::CloseDatabase() {
  CloseView();
  return is_open() && database_.Close() == ERROR_SUCCESS;
}

}  // namespace kb

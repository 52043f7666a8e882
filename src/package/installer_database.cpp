#include "package/installer_database.h"

#include <array>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/scratch_folder.h"

namespace kb {
namespace {

constexpr DWORD kStringBufferSize = 10240;

bool SetField(MSIHANDLE record, UINT field, const StatementValue& value) {
  if (const auto* text = std::get_if<std::string_view>(&value)) {
    return MsiRecordSetStringA(record, field, std::string(*text).c_str()) == ERROR_SUCCESS;
  }
  return MsiRecordSetInteger(record, field, std::get<int>(value)) == ERROR_SUCCESS;
}

// The code page of a "_ForceCodepage" archive: its third line, "<code page>\t_ForceCodepage".
std::optional<int> ParseForcedCodePage(const std::string& archive) {
  std::size_t line_start = 0;
  for (int line = 0; line < 2; ++line) {
    line_start = archive.find('\n', line_start);
    if (line_start == std::string::npos) return std::nullopt;
    ++line_start;
  }
  int code_page = 0;
  const char* end = archive.data() + archive.size();
  const auto [stop, error] = std::from_chars(archive.data() + line_start, end, code_page);
  if (error != std::errc() || stop == end || *stop != '\t') return std::nullopt;
  return code_page;
}

}  // namespace

CInstallerDatabase::CInstallerDatabase(const std::string& path) {
  MSIHANDLE handle = 0;
  if (MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_TRANSACT, &handle) == ERROR_SUCCESS) {
    database_.Reset(handle);
  }
}

CInstallerDatabase::~CInstallerDatabase() {
  // Nobody is left to be told; a build that needed the result has closed the database itself.
  static_cast<void>(CloseDatabase());
}

bool CInstallerDatabase::Execute(std::string_view statement, MSIHANDLE parameters) {
  CloseView();
  if (!is_open()) return false;
  const std::string text(statement);
  MsiDatabaseOpenViewA(database_.get(), text.c_str(), view_.Receive());
  return view_.get() != 0 && MsiViewExecute(view_.get(), parameters) == ERROR_SUCCESS;
}

bool CInstallerDatabase::Execute(std::string_view statement,
                                 std::initializer_list<StatementValue> values) {
  msi::ScopedHandle parameters(MsiCreateRecord(static_cast<UINT>(values.size())));
  UINT field = 1;
  for (const StatementValue& value : values) {
    if (!SetField(parameters.get(), field++, value)) return false;
  }
  return Execute(statement, parameters.get());
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

bool CInstallerDatabase::SetJoinedStreamAndUpdate(unsigned field, const std::string& path, int rest,
                                                  std::uint64_t rest_size) {
  return KbRecordSetJoinedStreamA(record_.get(), field, path.c_str(), rest, rest_size) ==
             ERROR_SUCCESS &&
         MsiViewModify(view_.get(), MSIMODIFY_UPDATE, record_.get()) == ERROR_SUCCESS;
}

bool CInstallerDatabase::Commit() {
  const bool committed = MsiDatabaseCommit(database_.get()) == ERROR_SUCCESS;
  commit_failed_ |= !committed;
  return committed;
}

std::optional<int> CInstallerDatabase::CodePage() {
  const platform::ScratchFolder folder;
  if (folder.path().empty() ||
      MsiDatabaseExportA(database_.get(), "_ForceCodepage", folder.path().c_str(),
                         "_ForceCodepage.idt") != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::ifstream in(folder.path() / "_ForceCodepage.idt", std::ios::binary);
  return ParseForcedCodePage(
      std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

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

#include "msi/api/msi_interface.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <utility>

#include "msi/api/handle_table.h"
#include "msi/db/idt_archive.h"

using kb::msi::Database;
using kb::msi::HandleTable;
using kb::msi::Record;
using kb::msi::SummaryHandle;
using kb::msi::SummaryInformation;
using kb::msi::ToReturnCode;
using kb::msi::View;

namespace {

// Runs the body of an entry point: no exception (an allocation failing) leaves the interface.
template <typename Body>
[[nodiscard]] UINT Guarded(Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return ERROR_FUNCTION_FAILED;
  }
}

HandleTable& Handles() {
  return HandleTable::Instance();
}

template <typename T>
std::shared_ptr<T> Get(MSIHANDLE handle) {
  return Handles().Get<T>(handle);
}

// The database of `handle` in *out, and what to answer when it cannot serve: the handle is no
// database, or a failed commit left its file in a state it cannot tell.
UINT UsableDatabase(MSIHANDLE handle, std::shared_ptr<Database>* out) {
  *out = Get<Database>(handle);
  if (!*out) return ERROR_INVALID_HANDLE;
  return (*out)->failed() ? ERROR_FUNCTION_FAILED : ERROR_SUCCESS;
}

// What MsiGetLastErrorRecord hands out: the last failure for which the engine gave a reason.
struct LastError {
  UINT code = ERROR_SUCCESS;
  std::string reason;
};

LastError& TheLastError() {
  static LastError last;
  return last;
}

// Runs `call` on `database` and keeps its failure, with the reason the database gives for it,
// for MsiGetLastErrorRecord.
template <typename Call>
UINT Noting(Database& database, Call call) {
  database.set_last_refusal(std::string());
  const UINT code = call();
  const std::string& reason = database.last_refusal();
  TheLastError() = code == ERROR_SUCCESS || reason.empty() ? LastError{} : LastError{code, reason};
  return code;
}

// Copies `text` into a caller's buffer as msi.dll's A functions do.
UINT CopyOut(const std::string& text, LPSTR buffer, DWORD* size) {
  if (size == nullptr) return buffer == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
  const DWORD capacity = *size;
  *size = static_cast<DWORD>(text.size());
  if (buffer == nullptr) return ERROR_SUCCESS;
  if (capacity == 0) return ERROR_MORE_DATA;
  const std::size_t copied = std::min<std::size_t>(text.size(), capacity - 1);
  std::memcpy(buffer, text.data(), copied);
  buffer[copied] = '\0';
  return text.size() < capacity ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

std::optional<Database::OpenMode> OpenModeOf(LPCSTR persist) {
  switch (reinterpret_cast<std::uintptr_t>(persist)) {
    case 0:
      return Database::OpenMode::kReadOnly;
    case 1:
      return Database::OpenMode::kTransact;
    case 2:
      return Database::OpenMode::kDirect;
    case 3:
      return Database::OpenMode::kCreate;
    case 4:
      return Database::OpenMode::kCreateDirect;
  }
  return std::nullopt;
}

// Registers `object` and stores its handle in *out; fails when the handles are used up.
UINT NewHandle(kb::msi::HandleObject object, MSIHANDLE* out) {
  *out = Handles().Add(std::move(object));
  return *out != 0 ? ERROR_SUCCESS : ERROR_FUNCTION_FAILED;
}

// A persist argument is a mode when it is a small number (as msi.dll tells them apart), and
// otherwise the path of the file the database's commits go to.
bool IsOutputPath(LPCSTR persist) {
  return reinterpret_cast<std::uintptr_t>(persist) > 0xFFFF && *persist != '\0';
}

UINT NewRecordHandle(std::unique_ptr<Record> record, MSIHANDLE* out) {
  return NewHandle(std::shared_ptr<Record>(std::move(record)), out);
}

UINT SetSummaryProperty(SummaryHandle& summary, UINT property, UINT type, INT number,
                        const FILETIME* time, LPCSTR text) {
  SummaryInformation::Value value;
  if (type == VT_I2 || type == VT_I4) {
    value = number;
  } else if (type == VT_LPSTR) {
    if (text == nullptr) return ERROR_INVALID_PARAMETER;
    value = std::string(text);
  } else if (type == VT_FILETIME) {
    if (time == nullptr) return ERROR_INVALID_PARAMETER;
    value = kb::msi::FileTime{time->dwLowDateTime | std::uint64_t{time->dwHighDateTime} << 32};
  } else {
    return ERROR_DATATYPE_MISMATCH;
  }
  const bool is_new = std::holds_alternative<std::monostate>(summary.info.Get(property));
  if (summary.max_updates == 0 || (is_new && summary.info.size() >= summary.max_updates)) {
    return ERROR_FUNCTION_FAILED;
  }
  return ToReturnCode(summary.info.Set(property, std::move(value)));
}

}  // namespace

extern "C" {

UINT MsiOpenDatabaseA(LPCSTR szDatabasePath, LPCSTR szPersist, MSIHANDLE* phDatabase) {
  return Guarded([&]() -> UINT {
    const auto mode = OpenModeOf(szPersist);
    const bool output = IsOutputPath(szPersist);
    if (szDatabasePath == nullptr || phDatabase == nullptr || (!mode && !output)) {
      return ERROR_INVALID_PARAMETER;
    }
    std::shared_ptr<Database> database;
    const UINT error =
        ToReturnCode(output ? Database::OpenWithOutput(szDatabasePath, szPersist, &database)
                            : Database::Open(szDatabasePath, *mode, &database));
    if (error != ERROR_SUCCESS) return error;
    return NewHandle(std::move(database), phDatabase);
  });
}

UINT MsiDatabaseOpenViewA(MSIHANDLE hDatabase, LPCSTR szQuery, MSIHANDLE* phView) {
  return Guarded([&]() -> UINT {
    std::shared_ptr<Database> database;
    if (const UINT error = UsableDatabase(hDatabase, &database); error != ERROR_SUCCESS) {
      return error;
    }
    if (szQuery == nullptr || phView == nullptr) return ERROR_INVALID_PARAMETER;
    std::unique_ptr<View> view;
    const UINT error =
        Noting(*database, [&] { return ToReturnCode(View::Prepare(database, szQuery, &view)); });
    if (error != ERROR_SUCCESS) return error;
    return NewHandle(std::shared_ptr<View>(std::move(view)), phView);
  });
}

UINT MsiDatabaseCommit(MSIHANDLE hDatabase) {
  return Guarded([&]() -> UINT {
    std::shared_ptr<Database> database;
    const UINT error = UsableDatabase(hDatabase, &database);
    return error == ERROR_SUCCESS ? ToReturnCode(database->Commit()) : error;
  });
}

UINT MsiDatabaseGetPrimaryKeysA(MSIHANDLE hDatabase, LPCSTR szTableName, MSIHANDLE* phRecord) {
  return Guarded([&]() -> UINT {
    std::shared_ptr<Database> database;
    if (const UINT error = UsableDatabase(hDatabase, &database); error != ERROR_SUCCESS) {
      return error;
    }
    if (szTableName == nullptr || phRecord == nullptr) return ERROR_INVALID_PARAMETER;
    const auto table = database->OpenTable(szTableName);
    if (!table) return ERROR_INVALID_TABLE;
    const std::vector<std::size_t> keys = table->schema().KeyColumns();
    // The record is made with a field for each key, so every SetString succeeds.
    auto record = std::make_unique<Record>(static_cast<unsigned>(keys.size()));
    (void)record->SetString(0, table->schema().name);
    for (std::size_t k = 0; k < keys.size(); ++k) {
      (void)record->SetString(static_cast<unsigned>(k + 1), table->schema().columns[keys[k]].name);
    }
    return NewRecordHandle(std::move(record), phRecord);
  });
}

MSICONDITION MsiDatabaseIsTablePersistentA(MSIHANDLE hDatabase, LPCSTR szTableName) {
  MSICONDITION condition = MSICONDITION_ERROR;
  // The answer is `condition`, which stays MSICONDITION_ERROR when the body cannot finish.
  (void)Guarded([&]() -> UINT {
    std::shared_ptr<Database> database;
    if (UsableDatabase(hDatabase, &database) != ERROR_SUCCESS || szTableName == nullptr) {
      return ERROR_INVALID_PARAMETER;
    }
    const auto persistent = database->IsPersistent(szTableName);
    condition = !persistent   ? MSICONDITION_NONE
                : *persistent ? MSICONDITION_TRUE
                              : MSICONDITION_FALSE;
    return ERROR_SUCCESS;
  });
  return condition;
}

UINT MsiDatabaseImportA(MSIHANDLE hDatabase, LPCSTR szFolderPath, LPCSTR szFileName) {
  return Guarded([&]() -> UINT {
    std::shared_ptr<Database> database;
    if (const UINT error = UsableDatabase(hDatabase, &database); error != ERROR_SUCCESS) {
      return error;
    }
    if (szFolderPath == nullptr || szFileName == nullptr) return ERROR_INVALID_PARAMETER;
    return Noting(*database, [&] {
      return ToReturnCode(kb::msi::ImportArchive(*database, szFolderPath, szFileName));
    });
  });
}

UINT MsiDatabaseExportA(MSIHANDLE hDatabase, LPCSTR szTableName, LPCSTR szFolderPath,
                        LPCSTR szFileName) {
  return Guarded([&]() -> UINT {
    std::shared_ptr<Database> database;
    if (const UINT error = UsableDatabase(hDatabase, &database); error != ERROR_SUCCESS) {
      return error;
    }
    if (szTableName == nullptr || szFolderPath == nullptr || szFileName == nullptr) {
      return ERROR_INVALID_PARAMETER;
    }
    return Noting(*database, [&] {
      return ToReturnCode(kb::msi::ExportArchive(*database, szTableName, szFolderPath, szFileName));
    });
  });
}

UINT MsiViewExecute(MSIHANDLE hView, MSIHANDLE hRecord) {
  return Guarded([&]() -> UINT {
    auto view = Get<View>(hView);
    auto record = Get<Record>(hRecord);
    if (!view || (hRecord != 0 && !record)) return ERROR_INVALID_HANDLE;
    return Noting(view->database(), [&] { return ToReturnCode(view->Execute(record.get())); });
  });
}

UINT MsiViewFetch(MSIHANDLE hView, MSIHANDLE* phRecord) {
  return Guarded([&]() -> UINT {
    auto view = Get<View>(hView);
    if (!view) return ERROR_INVALID_HANDLE;
    if (phRecord == nullptr) return ERROR_INVALID_PARAMETER;
    std::unique_ptr<Record> record;
    const UINT error = ToReturnCode(view->Fetch(&record));
    if (error != ERROR_SUCCESS) return error;
    return NewRecordHandle(std::move(record), phRecord);
  });
}

MSIHANDLE MsiGetLastErrorRecord() {
  MSIHANDLE handle = 0;
  (void)Guarded([&]() -> UINT {
    LastError last = std::exchange(TheLastError(), LastError{});
    if (last.code == ERROR_SUCCESS) return ERROR_SUCCESS;
    auto record = std::make_unique<Record>(1);
    // Both fields exist, so the setters succeed.
    (void)record->SetString(0, last.reason);
    (void)record->SetInteger(1, static_cast<int>(last.code));
    return NewRecordHandle(std::move(record), &handle);
  });
  return handle;
}

// The engine's results are msi.dll's return codes, so ToReturnCode is a cast.
constexpr bool SameCode(UINT code, kb::msi::ErrorCode engine_code) {
  return code == ToReturnCode(engine_code);
}
static_assert(SameCode(ERROR_SUCCESS, kb::msi::kSuccess) &&
              SameCode(ERROR_INVALID_HANDLE, kb::msi::kInvalidHandle) &&
              SameCode(ERROR_INVALID_DATA, kb::msi::kInvalidData) &&
              SameCode(ERROR_INVALID_PARAMETER, kb::msi::kInvalidParameter) &&
              SameCode(ERROR_OPEN_FAILED, kb::msi::kOpenFailed) &&
              SameCode(ERROR_BAD_PATHNAME, kb::msi::kBadPathname) &&
              SameCode(ERROR_MORE_DATA, kb::msi::kMoreData) &&
              SameCode(ERROR_NO_MORE_ITEMS, kb::msi::kNoMoreItems) &&
              SameCode(ERROR_UNKNOWN_PROPERTY, kb::msi::kUnknownProperty) &&
              SameCode(ERROR_INVALID_HANDLE_STATE, kb::msi::kInvalidHandleState) &&
              SameCode(ERROR_BAD_QUERY_SYNTAX, kb::msi::kBadQuerySyntax) &&
              SameCode(ERROR_INVALID_FIELD, kb::msi::kInvalidField) &&
              SameCode(ERROR_FUNCTION_FAILED, kb::msi::kFunctionFailed) &&
              SameCode(ERROR_INVALID_TABLE, kb::msi::kInvalidTable) &&
              SameCode(ERROR_DATATYPE_MISMATCH, kb::msi::kDatatypeMismatch) &&
              SameCode(ERROR_CREATE_FAILED, kb::msi::kCreateFailed) &&
              SameCode(ERROR_INVALID_DATATYPE, kb::msi::kInvalidDatatype));

// The engine's modify modes carry the interface's values, so a mode passes through by cast.
constexpr bool SameModifyMode(MSIMODIFY mode, kb::msi::ModifyMode engine_mode) {
  return static_cast<int>(mode) == static_cast<int>(engine_mode);
}
static_assert(SameModifyMode(MSIMODIFY_SEEK, kb::msi::ModifyMode::kSeek) &&
              SameModifyMode(MSIMODIFY_REFRESH, kb::msi::ModifyMode::kRefresh) &&
              SameModifyMode(MSIMODIFY_INSERT, kb::msi::ModifyMode::kInsert) &&
              SameModifyMode(MSIMODIFY_UPDATE, kb::msi::ModifyMode::kUpdate) &&
              SameModifyMode(MSIMODIFY_ASSIGN, kb::msi::ModifyMode::kAssign) &&
              SameModifyMode(MSIMODIFY_REPLACE, kb::msi::ModifyMode::kReplace) &&
              SameModifyMode(MSIMODIFY_MERGE, kb::msi::ModifyMode::kMerge) &&
              SameModifyMode(MSIMODIFY_DELETE, kb::msi::ModifyMode::kDelete) &&
              SameModifyMode(MSIMODIFY_INSERT_TEMPORARY, kb::msi::ModifyMode::kInsertTemporary) &&
              SameModifyMode(MSIMODIFY_VALIDATE, kb::msi::ModifyMode::kValidate) &&
              SameModifyMode(MSIMODIFY_VALIDATE_NEW, kb::msi::ModifyMode::kValidateNew) &&
              SameModifyMode(MSIMODIFY_VALIDATE_FIELD, kb::msi::ModifyMode::kValidateField) &&
              SameModifyMode(MSIMODIFY_VALIDATE_DELETE, kb::msi::ModifyMode::kValidateDelete));
static_assert(static_cast<int>(kb::msi::ColumnFault::kDuplicateKey) == MSIDBERROR_DUPLICATEKEY &&
              static_cast<int>(kb::msi::ColumnFault::kRequired) == MSIDBERROR_REQUIRED &&
              static_cast<int>(kb::msi::ColumnFault::kStringOverflow) == MSIDBERROR_STRINGOVERFLOW);

UINT MsiViewModify(MSIHANDLE hView, MSIMODIFY eModifyMode, MSIHANDLE hRecord) {
  return Guarded([&]() -> UINT {
    auto view = Get<View>(hView);
    auto record = Get<Record>(hRecord);
    if (!view || !record) return ERROR_INVALID_HANDLE;
    if (eModifyMode < MSIMODIFY_SEEK || eModifyMode > MSIMODIFY_VALIDATE_DELETE) {
      return ERROR_INVALID_PARAMETER;
    }
    return ToReturnCode(view->Modify(static_cast<kb::msi::ModifyMode>(eModifyMode), *record));
  });
}

UINT MsiViewGetColumnInfo(MSIHANDLE hView, MSICOLINFO eColumnInfo, MSIHANDLE* phRecord) {
  return Guarded([&]() -> UINT {
    auto view = Get<View>(hView);
    if (!view) return ERROR_INVALID_HANDLE;
    if (phRecord == nullptr ||
        (eColumnInfo != MSICOLINFO_NAMES && eColumnInfo != MSICOLINFO_TYPES)) {
      return ERROR_INVALID_PARAMETER;
    }
    return NewRecordHandle(view->ColumnInfo(eColumnInfo == MSICOLINFO_TYPES), phRecord);
  });
}

UINT MsiViewClose(MSIHANDLE hView) {
  return Guarded([&]() -> UINT {
    auto view = Get<View>(hView);
    if (!view) return ERROR_INVALID_HANDLE;
    view->Close();
    return ERROR_SUCCESS;
  });
}

MSIDBERROR MsiViewGetErrorA(MSIHANDLE hView, LPSTR szColumnNameBuffer, DWORD* pcchBuf) {
  MSIDBERROR result = MSIDBERROR_INVALIDARG;
  const UINT error = Guarded([&]() -> UINT {
    auto view = Get<View>(hView);
    if (!view || szColumnNameBuffer == nullptr || pcchBuf == nullptr) return ERROR_SUCCESS;
    const std::optional<kb::msi::ColumnError> next = view->NextError();
    if (CopyOut(next ? next->column : "", szColumnNameBuffer, pcchBuf) != ERROR_SUCCESS) {
      result = MSIDBERROR_MOREDATA;
    } else if (next) {
      result = static_cast<MSIDBERROR>(next->fault);
      view->DropError();
    } else {
      result = MSIDBERROR_NOERROR;
    }
    return ERROR_SUCCESS;
  });
  return error == ERROR_SUCCESS ? result : MSIDBERROR_FUNCTIONERROR;
}

UINT MsiCloseHandle(MSIHANDLE hAny) {
  return Guarded([&]() -> UINT {
    if (hAny == 0) return ERROR_SUCCESS;
    return Handles().Close(hAny) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  });
}

MSIHANDLE MsiCreateRecord(UINT cParams) {
  if (cParams > 65535) return 0;
  MSIHANDLE handle = 0;  // stays 0, msi.dll's answer for a failure, when no handle is made
  (void)Guarded(
      [&]() -> UINT { return NewRecordHandle(std::make_unique<Record>(cParams), &handle); });
  return handle;
}

UINT MsiRecordGetFieldCount(MSIHANDLE hRecord) {
  auto record = Get<Record>(hRecord);
  return record ? record->field_count() : static_cast<UINT>(-1);
}

BOOL MsiRecordIsNull(MSIHANDLE hRecord, UINT iField) {
  auto record = Get<Record>(hRecord);
  return record && record->IsNull(iField) ? 1 : 0;
}

UINT MsiRecordGetStringA(MSIHANDLE hRecord, UINT iField, LPSTR szValueBuf, DWORD* pcchValueBuf) {
  return Guarded([&]() -> UINT {
    auto record = Get<Record>(hRecord);
    if (!record) return ERROR_INVALID_HANDLE;
    const auto text = record->GetString(iField);
    if (!text) return ERROR_INVALID_DATATYPE;
    return CopyOut(*text, szValueBuf, pcchValueBuf);
  });
}

UINT MsiRecordSetStringA(MSIHANDLE hRecord, UINT iField, LPCSTR szValue) {
  return Guarded([&]() -> UINT {
    auto record = Get<Record>(hRecord);
    if (!record) return ERROR_INVALID_HANDLE;
    return record->SetString(iField, szValue ? szValue : "") ? ERROR_SUCCESS : ERROR_INVALID_FIELD;
  });
}

int MsiRecordGetInteger(MSIHANDLE hRecord, UINT iField) {
  auto record = Get<Record>(hRecord);
  return record ? record->GetInteger(iField) : MSI_NULL_INTEGER;
}

UINT MsiRecordSetInteger(MSIHANDLE hRecord, UINT iField, int iValue) {
  return Guarded([&]() -> UINT {
    auto record = Get<Record>(hRecord);
    if (!record) return ERROR_INVALID_HANDLE;
    return record->SetInteger(iField, iValue) ? ERROR_SUCCESS : ERROR_INVALID_FIELD;
  });
}

UINT MsiRecordSetStreamA(MSIHANDLE hRecord, UINT iField, LPCSTR szFilePath) {
  return Guarded([&]() -> UINT {
    auto record = Get<Record>(hRecord);
    if (!record) return ERROR_INVALID_HANDLE;
    if (iField == 0 || iField > record->field_count()) return ERROR_INVALID_PARAMETER;
    if (szFilePath == nullptr) {
      return record->RewindStream(iField) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    }
    return record->SetStreamFromFile(iField, szFilePath) ? ERROR_SUCCESS : ERROR_BAD_PATHNAME;
  });
}

UINT KbRecordSetJoinedStreamA(MSIHANDLE hRecord, UINT iField, LPCSTR szFilePath, int hRestFile,
                              std::uint64_t cbRest) {
  return Guarded([&]() -> UINT {
    auto record = Get<Record>(hRecord);
    if (!record) return ERROR_INVALID_HANDLE;
    if (iField == 0 || iField > record->field_count() || szFilePath == nullptr) {
      return ERROR_INVALID_PARAMETER;
    }
    return record->SetStreamFromJoinedFiles(iField, szFilePath, hRestFile, cbRest)
               ? ERROR_SUCCESS
               : ERROR_BAD_PATHNAME;
  });
}

UINT MsiRecordReadStream(MSIHANDLE hRecord, UINT iField, char* szDataBuf, DWORD* pcbDataBuf) {
  return Guarded([&]() -> UINT {
    auto record = Get<Record>(hRecord);
    if (!record) return ERROR_INVALID_HANDLE;
    if (pcbDataBuf == nullptr) return ERROR_INVALID_PARAMETER;
    const auto remaining = record->StreamRemaining(iField);
    if (!remaining) return ERROR_INVALID_DATATYPE;
    if (record->HoldsStorage(iField)) {  // a `_Storages` row's data has no bytes to give
      *pcbDataBuf = 0;
      return ERROR_INVALID_DATA;
    }
    if (szDataBuf == nullptr) {
      *pcbDataBuf = static_cast<DWORD>(std::min<std::uint64_t>(*remaining, UINT32_MAX));
      return ERROR_SUCCESS;
    }
    const auto got =
        record->ReadStream(iField, std::span(reinterpret_cast<std::byte*>(szDataBuf), *pcbDataBuf));
    if (!got) return ERROR_FUNCTION_FAILED;
    *pcbDataBuf = static_cast<DWORD>(*got);
    return ERROR_SUCCESS;
  });
}

UINT MsiGetSummaryInformationA(MSIHANDLE hDatabase, LPCSTR szDatabasePath, UINT uiUpdateCount,
                               MSIHANDLE* phSummaryInfo) {
  return Guarded([&]() -> UINT {
    if (phSummaryInfo == nullptr) return ERROR_INVALID_PARAMETER;
    auto summary = std::make_shared<SummaryHandle>();
    summary->max_updates = uiUpdateCount;
    if (hDatabase != 0) {
      if (const UINT error = UsableDatabase(hDatabase, &summary->database);
          error != ERROR_SUCCESS) {
        return error;
      }
    } else {
      if (szDatabasePath == nullptr) return ERROR_INVALID_PARAMETER;
      const auto mode =
          uiUpdateCount > 0 ? Database::OpenMode::kTransact : Database::OpenMode::kReadOnly;
      const UINT error = ToReturnCode(Database::Open(szDatabasePath, mode, &summary->database));
      if (error != ERROR_SUCCESS) return error;
      summary->owns_database = true;
    }
    auto info = SummaryInformation::Load(summary->database->storage());
    if (!info) return ERROR_INVALID_DATA;
    summary->info = std::move(*info);
    return NewHandle(std::move(summary), phSummaryInfo);
  });
}

UINT MsiSummaryInfoGetPropertyCount(MSIHANDLE hSummaryInfo, UINT* puiPropertyCount) {
  auto summary = Get<SummaryHandle>(hSummaryInfo);
  if (!summary) return ERROR_INVALID_HANDLE;
  if (puiPropertyCount == nullptr) return ERROR_INVALID_PARAMETER;
  *puiPropertyCount = static_cast<UINT>(summary->info.size());
  return ERROR_SUCCESS;
}

UINT MsiSummaryInfoGetPropertyA(MSIHANDLE hSummaryInfo, UINT uiProperty, UINT* puiDataType,
                                INT* piValue, FILETIME* pftValue, LPSTR szValueBuf,
                                DWORD* pcchValueBuf) {
  return Guarded([&]() -> UINT {
    auto summary = Get<SummaryHandle>(hSummaryInfo);
    if (!summary) return ERROR_INVALID_HANDLE;
    const SummaryInformation::Value value = summary->info.Get(uiProperty);
    UINT type = VT_EMPTY;
    if (const auto* number = std::get_if<int>(&value)) {
      type = uiProperty == PID_CODEPAGE ? VT_I2 : VT_I4;
      if (piValue) *piValue = *number;
    } else if (const auto* time = std::get_if<kb::msi::FileTime>(&value)) {
      type = VT_FILETIME;
      if (pftValue)
        *pftValue = {static_cast<DWORD>(time->ticks), static_cast<DWORD>(time->ticks >> 32)};
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      type = VT_LPSTR;
      const UINT error = CopyOut(*text, szValueBuf, pcchValueBuf);
      if (puiDataType) *puiDataType = type;
      return error;
    }
    if (puiDataType) *puiDataType = type;
    return ERROR_SUCCESS;
  });
}

UINT MsiSummaryInfoSetPropertyA(MSIHANDLE hSummaryInfo, UINT uiProperty, UINT uiDataType,
                                INT iValue, FILETIME* pftValue, LPCSTR szValue) {
  return Guarded([&]() -> UINT {
    auto summary = Get<SummaryHandle>(hSummaryInfo);
    if (!summary) return ERROR_INVALID_HANDLE;
    return SetSummaryProperty(*summary, uiProperty, uiDataType, iValue, pftValue, szValue);
  });
}

UINT MsiSummaryInfoPersist(MSIHANDLE hSummaryInfo) {
  return Guarded([&]() -> UINT {
    auto summary = Get<SummaryHandle>(hSummaryInfo);
    if (!summary) return ERROR_INVALID_HANDLE;
    if (summary->max_updates == 0 || summary->database->read_only() ||
        summary->database->writes_elsewhere()) {
      return ERROR_FUNCTION_FAILED;
    }
    const UINT error = ToReturnCode(summary->info.Persist(summary->database->storage()));
    if (error != ERROR_SUCCESS || !summary->owns_database) return error;
    return ToReturnCode(summary->database->Commit());
  });
}

}  // extern "C"

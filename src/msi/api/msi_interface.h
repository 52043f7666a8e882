#ifndef KITBINDER_MSI_API_MSI_INTERFACE_H_
#define KITBINDER_MSI_API_MSI_INTERFACE_H_

// The Windows Installer database interface (msi.dll's ANSI entry points), served by our own
// engine. Names, constants and return codes are the documented ones, so code written against
// it reads as it would on Windows. Text is UTF-8 in and out; each database converts to and from
// its own code page, and a character the code page cannot hold fails the call.
//
// Handles are owned by the caller and released with MsiCloseHandle, exactly once each. A
// closed or wrong handle gives ERROR_INVALID_HANDLE, never undefined behaviour. Not
// thread-safe: one thread uses the interface at a time.

#include <cstdint>

using UINT = unsigned int;
using INT = int;
using BOOL = int;
using DWORD = std::uint32_t;
using LPCSTR = const char*;
using LPSTR = char*;
using MSIHANDLE = std::uint32_t;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

inline constexpr UINT ERROR_SUCCESS = 0;
inline constexpr UINT ERROR_INVALID_HANDLE = 6;
inline constexpr UINT ERROR_INVALID_DATA = 13;
inline constexpr UINT ERROR_INVALID_PARAMETER = 87;
inline constexpr UINT ERROR_OPEN_FAILED = 110;
inline constexpr UINT ERROR_BAD_PATHNAME = 161;
inline constexpr UINT ERROR_MORE_DATA = 234;
inline constexpr UINT ERROR_NO_MORE_ITEMS = 259;
inline constexpr UINT ERROR_UNKNOWN_PROPERTY = 1608;
inline constexpr UINT ERROR_INVALID_HANDLE_STATE = 1609;
inline constexpr UINT ERROR_BAD_QUERY_SYNTAX = 1615;
inline constexpr UINT ERROR_INVALID_FIELD = 1616;
inline constexpr UINT ERROR_FUNCTION_FAILED = 1627;
inline constexpr UINT ERROR_INVALID_TABLE = 1628;
inline constexpr UINT ERROR_DATATYPE_MISMATCH = 1629;
inline constexpr UINT ERROR_CREATE_FAILED = 1631;
inline constexpr UINT ERROR_INVALID_DATATYPE = 1804;

inline constexpr int MSI_NULL_INTEGER = static_cast<int>(0x80000000u);

// Open modes, passed where msi.dll takes a persist path. MSIDBOPEN_TRANSACT keeps every change
// in memory until MsiDatabaseCommit; MSIDBOPEN_DIRECT also commits when the last handle goes.
inline const LPCSTR MSIDBOPEN_READONLY = nullptr;
inline const LPCSTR MSIDBOPEN_TRANSACT = reinterpret_cast<LPCSTR>(1);
inline const LPCSTR MSIDBOPEN_DIRECT = reinterpret_cast<LPCSTR>(2);
inline const LPCSTR MSIDBOPEN_CREATE = reinterpret_cast<LPCSTR>(3);
inline const LPCSTR MSIDBOPEN_CREATEDIRECT = reinterpret_cast<LPCSTR>(4);

enum MSIMODIFY : int {
  MSIMODIFY_SEEK = -1,
  MSIMODIFY_REFRESH = 0,
  MSIMODIFY_INSERT = 1,
  MSIMODIFY_UPDATE = 2,
  MSIMODIFY_ASSIGN = 3,
  MSIMODIFY_REPLACE = 4,
  MSIMODIFY_MERGE = 5,
  MSIMODIFY_DELETE = 6,
  MSIMODIFY_INSERT_TEMPORARY = 7,
  MSIMODIFY_VALIDATE = 8,
  MSIMODIFY_VALIDATE_NEW = 9,
  MSIMODIFY_VALIDATE_FIELD = 10,
  MSIMODIFY_VALIDATE_DELETE = 11,
};

enum MSICONDITION : int {
  MSICONDITION_FALSE = 0,  // the table is temporary
  MSICONDITION_TRUE = 1,   // the table is persistent
  MSICONDITION_NONE = 2,   // there is no such table
  MSICONDITION_ERROR = 3,  // a bad handle or name
};

// What MsiViewGetErrorA reports about a column of a record that a validating modify refused.
enum MSIDBERROR : int {
  MSIDBERROR_INVALIDARG = -3,
  MSIDBERROR_MOREDATA = -2,
  MSIDBERROR_FUNCTIONERROR = -1,
  MSIDBERROR_NOERROR = 0,
  MSIDBERROR_DUPLICATEKEY = 1,
  MSIDBERROR_REQUIRED = 2,
  MSIDBERROR_BADLINK = 3,
  MSIDBERROR_OVERFLOW = 4,
  MSIDBERROR_UNDERFLOW = 5,
  MSIDBERROR_NOTINSET = 6,
  MSIDBERROR_BADVERSION = 7,
  MSIDBERROR_BADCASE = 8,
  MSIDBERROR_BADGUID = 9,
  MSIDBERROR_BADWILDCARD = 10,
  MSIDBERROR_BADIDENTIFIER = 11,
  MSIDBERROR_BADLANGUAGE = 12,
  MSIDBERROR_BADFILENAME = 13,
  MSIDBERROR_BADPATH = 14,
  MSIDBERROR_BADCONDITION = 15,
  MSIDBERROR_BADFORMATTED = 16,
  MSIDBERROR_BADTEMPLATE = 17,
  MSIDBERROR_BADDEFAULTDIR = 18,
  MSIDBERROR_BADREGPATH = 19,
  MSIDBERROR_BADCUSTOMSOURCE = 20,
  MSIDBERROR_BADPROPERTY = 21,
  MSIDBERROR_MISSINGDATA = 22,
  MSIDBERROR_BADCATEGORY = 23,
  MSIDBERROR_BADKEYTABLE = 24,
  MSIDBERROR_BADMAXMINVALUES = 25,
  MSIDBERROR_BADCABINET = 26,
  MSIDBERROR_BADSHORTCUT = 27,
  MSIDBERROR_STRINGOVERFLOW = 28,
  MSIDBERROR_BADLOCALIZEATTRIB = 29,
};

enum MSICOLINFO : int {
  MSICOLINFO_NAMES = 0,
  MSICOLINFO_TYPES = 1,
};

// Summary information property ids and their value types.
inline constexpr UINT PID_CODEPAGE = 1;
inline constexpr UINT PID_TITLE = 2;
inline constexpr UINT PID_SUBJECT = 3;
inline constexpr UINT PID_AUTHOR = 4;
inline constexpr UINT PID_KEYWORDS = 5;
inline constexpr UINT PID_COMMENTS = 6;
inline constexpr UINT PID_TEMPLATE = 7;
inline constexpr UINT PID_LASTAUTHOR = 8;
inline constexpr UINT PID_REVNUMBER = 9;
inline constexpr UINT PID_EDITTIME = 10;
inline constexpr UINT PID_LASTPRINTED = 11;
inline constexpr UINT PID_CREATE_DTM = 12;
inline constexpr UINT PID_LASTSAVE_DTM = 13;
inline constexpr UINT PID_PAGECOUNT = 14;
inline constexpr UINT PID_WORDCOUNT = 15;
inline constexpr UINT PID_CHARCOUNT = 16;
inline constexpr UINT PID_APPNAME = 18;
inline constexpr UINT PID_SECURITY = 19;

inline constexpr UINT VT_EMPTY = 0;
inline constexpr UINT VT_I2 = 2;
inline constexpr UINT VT_I4 = 3;
inline constexpr UINT VT_LPSTR = 30;
inline constexpr UINT VT_FILETIME = 64;

extern "C" {

// Opens the database at `szDatabasePath` in the mode `szPersist` (one of MSIDBOPEN_*), or, when
// `szPersist` is a path, transacted with that file as its output: the database's file stays
// unchanged and MsiDatabaseCommit writes the output (its summary information reads as the
// original's and cannot be persisted). ERROR_OPEN_FAILED when it cannot be opened;
// ERROR_CREATE_FAILED when it cannot be created; ERROR_INVALID_PARAMETER for a null path or out
// pointer, or an undefined mode.
UINT MsiOpenDatabaseA(LPCSTR szDatabasePath, LPCSTR szPersist, MSIHANDLE* phDatabase);
// Prepares one SQL statement. ERROR_BAD_QUERY_SYNTAX for bad syntax, unknown tables or columns,
// or a comparison msi.dll refuses (text ordered with < > <= >=).
UINT MsiDatabaseOpenViewA(MSIHANDLE hDatabase, LPCSTR szQuery, MSIHANDLE* phView);
UINT MsiDatabaseCommit(MSIHANDLE hDatabase);
// A record of the table's primary key column names (field 0: the table's name).
// ERROR_INVALID_TABLE when there is no such table.
UINT MsiDatabaseGetPrimaryKeysA(MSIHANDLE hDatabase, LPCSTR szTableName, MSIHANDLE* phRecord);
// Whether the table is saved at commit (it has a column that is not TEMPORARY).
MSICONDITION MsiDatabaseIsTablePersistentA(MSIHANDLE hDatabase, LPCSTR szTableName);
UINT MsiDatabaseImportA(MSIHANDLE hDatabase, LPCSTR szFolderPath, LPCSTR szFileName);
UINT MsiDatabaseExportA(MSIHANDLE hDatabase, LPCSTR szTableName, LPCSTR szFolderPath,
                        LPCSTR szFileName);

// Runs the view with `hRecord` (0 for none) giving the values of its `?` markers.
UINT MsiViewExecute(MSIHANDLE hView, MSIHANDLE hRecord);
// The next row in a new record (field 0 holds 1, as msi.dll's do); ERROR_NO_MORE_ITEMS after
// the last, and the call after that starts again from the first row. ERROR_INVALID_PARAMETER
// for a null phRecord.
UINT MsiViewFetch(MSIHANDLE hView, MSIHANDLE* phRecord);
UINT MsiViewModify(MSIHANDLE hView, MSIMODIFY eModifyMode, MSIHANDLE hRecord);
UINT MsiViewGetColumnInfo(MSIHANDLE hView, MSICOLINFO eColumnInfo, MSIHANDLE* phRecord);
UINT MsiViewClose(MSIHANDLE hView);
// The next column that the view's last validating modify found fault with: its name in the
// buffer of *pcchBuf bytes (*pcchBuf set to the name's length) and what is wrong with it, or
// MSIDBERROR_NOERROR and an empty name when none is left. MSIDBERROR_MOREDATA, keeping the
// error, when the name does not fit; MSIDBERROR_INVALIDARG for a bad handle or a null argument.
MSIDBERROR MsiViewGetErrorA(MSIHANDLE hView, LPSTR szColumnNameBuffer, DWORD* pcchBuf);

// The error record of the last MsiDatabaseOpenViewA, MsiViewExecute, MsiDatabaseImportA or
// MsiDatabaseExportA that failed for a reason the engine can name, then forgotten: field 1
// holds the call's return code (msi.dll's holds an error number of its own there) and field
// 0 the reason as a sentence ("a statement names at most 32 tables"). 0 when the last such
// call succeeded or gave no reason.
MSIHANDLE MsiGetLastErrorRecord();

// Releases any handle. 0 is accepted and ignored.
UINT MsiCloseHandle(MSIHANDLE hAny);

// A record of fields 0 to cParams, all null; 0 when cParams is above 65535.
MSIHANDLE MsiCreateRecord(UINT cParams);
UINT MsiRecordGetFieldCount(MSIHANDLE hRecord);  // (UINT)-1 for a bad handle
BOOL MsiRecordIsNull(MSIHANDLE hRecord, UINT iField);
// Copies the field's text (integers in decimal) into the buffer of *pcchValueBuf bytes and
// sets *pcchValueBuf to the text's length. ERROR_MORE_DATA, with the text cut to fit, when
// the buffer is too small; with a null buffer only the length is given.
UINT MsiRecordGetStringA(MSIHANDLE hRecord, UINT iField, LPSTR szValueBuf, DWORD* pcchValueBuf);
// The setters give ERROR_INVALID_FIELD for a field past the record's last.
UINT MsiRecordSetStringA(MSIHANDLE hRecord, UINT iField, LPCSTR szValue);
int MsiRecordGetInteger(MSIHANDLE hRecord, UINT iField);  // MSI_NULL_INTEGER when none
UINT MsiRecordSetInteger(MSIHANDLE hRecord, UINT iField, int iValue);
// The field becomes the stream of the file (read when the record is written to a table).
// A null path moves the field's read position back to the start.
UINT MsiRecordSetStreamA(MSIHANDLE hRecord, UINT iField, LPCSTR szFilePath);
// Not msi.dll's: the field becomes the stream of the file at szFilePath followed by the first
// cbRest bytes of the open file descriptor hRestFile, which the caller keeps (a cabinet whose
// data blocks were staged apart goes into the package without being joined in a file first).
// ERROR_BAD_PATHNAME when either cannot be read.
UINT KbRecordSetJoinedStreamA(MSIHANDLE hRecord, UINT iField, LPCSTR szFilePath, int hRestFile,
                              std::uint64_t cbRest);
// Reads the next *pcbDataBuf bytes of a stream field; *pcbDataBuf gets the count read. With
// a null buffer, *pcbDataBuf gets the bytes left.
UINT MsiRecordReadStream(MSIHANDLE hRecord, UINT iField, char* szDataBuf, DWORD* pcbDataBuf);

// The summary information of an open database, or (hDatabase 0) of the database at a path.
// uiUpdateCount above 0 allows that many properties to be set.
UINT MsiGetSummaryInformationA(MSIHANDLE hDatabase, LPCSTR szDatabasePath, UINT uiUpdateCount,
                               MSIHANDLE* phSummaryInfo);
UINT MsiSummaryInfoGetPropertyCount(MSIHANDLE hSummaryInfo, UINT* puiPropertyCount);
UINT MsiSummaryInfoGetPropertyA(MSIHANDLE hSummaryInfo, UINT uiProperty, UINT* puiDataType,
                                INT* piValue, FILETIME* pftValue, LPSTR szValueBuf,
                                DWORD* pcchValueBuf);
UINT MsiSummaryInfoSetPropertyA(MSIHANDLE hSummaryInfo, UINT uiProperty, UINT uiDataType,
                                INT iValue, FILETIME* pftValue, LPCSTR szValue);
// Writes the properties into the database (committed with it; at once for a handle opened
// from a path).
UINT MsiSummaryInfoPersist(MSIHANDLE hSummaryInfo);

}  // extern "C"

#endif  // KITBINDER_MSI_API_MSI_INTERFACE_H_

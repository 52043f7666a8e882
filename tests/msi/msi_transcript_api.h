/* The part of the Windows Installer database interface that msi_transcript.c calls, declared
   from the public documentation so that the same C source builds against msi.dll (mingw-w64,
   -lmsi) and against our engine's C interface (natively, where the types are those of
   msi/msi_interface.h). */
#ifndef KITBINDER_TESTS_MSI_MSI_TRANSCRIPT_API_H_
#define KITBINDER_TESTS_MSI_MSI_TRANSCRIPT_API_H_

#include <stdio.h>

#ifdef _WIN32
#include <windows.h>
typedef unsigned long MSIHANDLE;
#define MSI_CALL WINAPI
#else
#include <stdint.h>
typedef unsigned int UINT;
typedef int INT;
typedef int BOOL;
typedef uint32_t DWORD;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef uint32_t MSIHANDLE;
typedef struct {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME;
#define MSI_CALL
#endif

#define TRANSCRIPT_DBOPEN_READONLY ((LPCSTR)0)
#define TRANSCRIPT_DBOPEN_TRANSACT ((LPCSTR)1)
#define TRANSCRIPT_DBOPEN_CREATE ((LPCSTR)3)
#define TRANSCRIPT_NULL_INTEGER ((int)0x80000000u)

enum {
  kModifySeek = -1,
  kModifyRefresh = 0,
  kModifyInsert = 1,
  kModifyUpdate = 2,
  kModifyAssign = 3,
  kModifyReplace = 4,
  kModifyMerge = 5,
  kModifyDelete = 6,
  kModifyInsertTemporary = 7,
  kModifyValidate = 8,
  kModifyValidateNew = 9,
  kModifyValidateField = 10,
  kModifyValidateDelete = 11
};
enum { kColumnNames = 0, kColumnTypes = 1 };
enum { kVtI2 = 2, kVtI4 = 3, kVtLpstr = 30, kVtFiletime = 64 };

#ifdef __cplusplus
extern "C" {
#endif

UINT MSI_CALL MsiOpenDatabaseA(LPCSTR szDatabasePath, LPCSTR szPersist, MSIHANDLE* phDatabase);
UINT MSI_CALL MsiDatabaseOpenViewA(MSIHANDLE hDatabase, LPCSTR szQuery, MSIHANDLE* phView);
UINT MSI_CALL MsiDatabaseCommit(MSIHANDLE hDatabase);
UINT MSI_CALL MsiDatabaseGetPrimaryKeysA(MSIHANDLE hDatabase, LPCSTR szTableName,
                                         MSIHANDLE* phRecord);
UINT MSI_CALL MsiDatabaseExportA(MSIHANDLE hDatabase, LPCSTR szTableName, LPCSTR szFolderPath,
                                 LPCSTR szFileName);
int MSI_CALL MsiDatabaseIsTablePersistentA(MSIHANDLE hDatabase, LPCSTR szTableName);
int MSI_CALL MsiViewGetErrorA(MSIHANDLE hView, LPSTR szColumnNameBuffer, DWORD* pcchBuf);
UINT MSI_CALL MsiViewExecute(MSIHANDLE hView, MSIHANDLE hRecord);
UINT MSI_CALL MsiViewFetch(MSIHANDLE hView, MSIHANDLE* phRecord);
UINT MSI_CALL MsiViewModify(MSIHANDLE hView, int eModifyMode, MSIHANDLE hRecord);
UINT MSI_CALL MsiViewGetColumnInfo(MSIHANDLE hView, int eColumnInfo, MSIHANDLE* phRecord);
UINT MSI_CALL MsiViewClose(MSIHANDLE hView);
UINT MSI_CALL MsiCloseHandle(MSIHANDLE hAny);
MSIHANDLE MSI_CALL MsiCreateRecord(UINT cParams);
UINT MSI_CALL MsiRecordGetFieldCount(MSIHANDLE hRecord);
BOOL MSI_CALL MsiRecordIsNull(MSIHANDLE hRecord, UINT iField);
UINT MSI_CALL MsiRecordGetStringA(MSIHANDLE hRecord, UINT iField, LPSTR szValueBuf,
                                  DWORD* pcchValueBuf);
UINT MSI_CALL MsiRecordSetStringA(MSIHANDLE hRecord, UINT iField, LPCSTR szValue);
int MSI_CALL MsiRecordGetInteger(MSIHANDLE hRecord, UINT iField);
UINT MSI_CALL MsiRecordSetInteger(MSIHANDLE hRecord, UINT iField, int iValue);
UINT MSI_CALL MsiRecordSetStreamA(MSIHANDLE hRecord, UINT iField, LPCSTR szFilePath);
UINT MSI_CALL MsiRecordReadStream(MSIHANDLE hRecord, UINT iField, char* szDataBuf,
                                  DWORD* pcbDataBuf);
UINT MSI_CALL MsiGetSummaryInformationA(MSIHANDLE hDatabase, LPCSTR szDatabasePath,
                                        UINT uiUpdateCount, MSIHANDLE* phSummaryInfo);
UINT MSI_CALL MsiSummaryInfoGetPropertyCount(MSIHANDLE hSummaryInfo, UINT* puiPropertyCount);
UINT MSI_CALL MsiSummaryInfoGetPropertyA(MSIHANDLE hSummaryInfo, UINT uiProperty, UINT* puiDataType,
                                         INT* piValue, FILETIME* pftValue, LPSTR szValueBuf,
                                         DWORD* pcchValueBuf);
UINT MSI_CALL MsiSummaryInfoSetPropertyA(MSIHANDLE hSummaryInfo, UINT uiProperty, UINT uiDataType,
                                         INT iValue, FILETIME* pftValue, LPCSTR szValue);
UINT MSI_CALL MsiSummaryInfoPersist(MSIHANDLE hSummaryInfo);
/* Archives (msi_transcript.c's archive, stream-file and output-file steps). */
UINT MSI_CALL MsiDatabaseImportA(MSIHANDLE hDatabase, LPCSTR szFolderPath, LPCSTR szFileName);
UINT MSI_CALL MsiDatabaseExportA(MSIHANDLE hDatabase, LPCSTR szTableName, LPCSTR szFolderPath,
                                 LPCSTR szFileName);

/* Runs every step against databases in `folder` (ending in its path separator) and prints
   one line per step to `out`. Returns 0, or 1 when a file could not be prepared. */
int RunMsiTranscript(const char* folder, FILE* out);

#ifdef __cplusplus
}
#endif

#endif /* KITBINDER_TESTS_MSI_MSI_TRANSCRIPT_API_H_ */

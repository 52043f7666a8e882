/* One sequence of installer database operations, printed as a transcript: every step's label,
   return codes and the values it read. Built twice: into the engine's tests (natively, against
   our C interface) and with mingw-w64 as a Windows program that links msi.dll and runs under
   Wine. The test compares the two transcripts line by line. */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "msi_transcript_api.h"

static FILE* out;
static char folder[1024];

static const char* PathOf(const char* name) {
  static char path[2][1100];
  static int turn;
  turn ^= 1;
  snprintf(path[turn], sizeof path[turn], "%s%s", folder, name);
  return path[turn];
}

static void Print(const char* label, const char* format, ...) {
  va_list args;
  va_start(args, format);
  fprintf(out, "%s:", label);
  vfprintf(out, format, args);
  fputc('\n', out);
  va_end(args);
}

/* A field as "~" (null), its text, "#n" when it reads as an integer, or "!rc" when it gives no
   text (a stream). */
static void PrintField(MSIHANDLE record, UINT field) {
  char text[512];
  DWORD size = sizeof text;
  const int number = MsiRecordGetInteger(record, field);
  if (MsiRecordIsNull(record, field)) {
    fputs(" ~", out);
    return;
  }
  const UINT rc = MsiRecordGetStringA(record, field, text, &size);
  if (rc != 0) {
    fprintf(out, " !%u", rc);
  } else {
    fprintf(out, " '%s'", text);
  }
  if (number != TRANSCRIPT_NULL_INTEGER) fprintf(out, "#%d", number);
}

static void PrintRecord(const char* label, MSIHANDLE record) {
  const UINT count = MsiRecordGetFieldCount(record);
  fprintf(out, "%s: [%u]", label, count);
  for (UINT field = 1; field <= count; ++field) PrintField(record, field);
  fputc('\n', out);
}

/* Prepares and runs one statement, printing both return codes. */
static UINT Run(MSIHANDLE database, const char* label, const char* sql, MSIHANDLE parameters) {
  MSIHANDLE view = 0;
  const UINT opened = MsiDatabaseOpenViewA(database, sql, &view);
  const UINT executed = opened == 0 ? MsiViewExecute(view, parameters) : opened;
  Print(label, " open=%u execute=%u", opened, executed);
  MsiCloseHandle(view);
  return executed;
}

/* Runs a query and prints every row, then the code of the fetch after the last row. */
static void Show(MSIHANDLE database, const char* label, const char* sql, MSIHANDLE parameters) {
  MSIHANDLE view = 0;
  MSIHANDLE record = 0;
  UINT rc = MsiDatabaseOpenViewA(database, sql, &view);
  if (rc == 0) rc = MsiViewExecute(view, parameters);
  if (rc != 0) {
    Print(label, " failed=%u", rc);
    MsiCloseHandle(view);
    return;
  }
  while ((rc = MsiViewFetch(view, &record)) == 0) {
    PrintRecord(label, record);
    MsiCloseHandle(record);
  }
  Print(label, " end=%u", rc);
  MsiCloseHandle(view);
}

/* Commits `db` (printing the result under `label`), closes it, and opens `file` again in
   `mode`. */
static MSIHANDLE CommitAndReopen(MSIHANDLE db, const char* label, const char* file, LPCSTR mode) {
  Print(label, " rc=%u", MsiDatabaseCommit(db));
  MsiCloseHandle(db);
  MSIHANDLE reopened = 0;
  MsiOpenDatabaseA(PathOf(file), mode, &reopened);
  return reopened;
}

static MSIHANDLE Texts(const char* a, const char* b, const char* c) {
  const MSIHANDLE record = MsiCreateRecord(3);
  MsiRecordSetStringA(record, 1, a);
  MsiRecordSetStringA(record, 2, b);
  MsiRecordSetStringA(record, 3, c);
  return record;
}

static void CreateTables(MSIHANDLE db) {
  static const char kKinds[] =
      "CREATE TABLE `Kinds` (`Key` CHAR(20) NOT NULL, `Num` SHORT, `Big` LONG, `Text` CHAR(0), "
      "`Loc` CHAR(30) LOCALIZABLE, `Blob` OBJECT PRIMARY KEY `Key`)";
  Run(db, "create-kinds", kKinds, 0);
  Run(db, "create-pairs",
      "CREATE TABLE `Pairs` (`A` CHAR(10) NOT NULL, `B` INT NOT NULL, `V` LONGCHAR "
      "PRIMARY KEY `A`, `B`)",
      0);
  Run(db, "create-again", kKinds, 0);
  Run(db, "create-without-key", "CREATE TABLE `NoKey` (`A` CHAR(10))", 0);
  MSIHANDLE view = 0;
  MSIHANDLE info = 0;
  MsiDatabaseOpenViewA(db, "SELECT * FROM `Kinds`", &view);
  for (int kind = kColumnNames; kind <= kColumnTypes; ++kind) {
    const UINT rc = MsiViewGetColumnInfo(view, kind, &info);
    Print("column-info", " rc=%u", rc);
    if (rc == 0) PrintRecord("column-info", info);
    MsiCloseHandle(info);
  }
  MsiCloseHandle(view);
  UINT rc = MsiDatabaseGetPrimaryKeysA(db, "Pairs", &info);
  Print("primary-keys", " rc=%u", rc);
  if (rc == 0) PrintRecord("primary-keys", info);
  MsiCloseHandle(info);
  Print("primary-keys-missing", " rc=%u", MsiDatabaseGetPrimaryKeysA(db, "Missing", &info));
}

static void InsertRows(MSIHANDLE db) {
  static const char kMarkers[] =
      "INSERT INTO `Kinds` (`Key`, `Num`, `Big`, `Text`) VALUES (?, ?, ?, ?)";
  MSIHANDLE record = MsiCreateRecord(4);
  MsiRecordSetStringA(record, 1, "alpha");
  MsiRecordSetInteger(record, 2, 7);
  MsiRecordSetInteger(record, 3, 100000);
  MsiRecordSetStringA(record, 4, "hello");
  Run(db, "insert-markers", kMarkers, record);
  Run(db, "insert-duplicate", kMarkers, record);
  MsiRecordSetStringA(record, 1, "zeta");
  MsiRecordSetStringA(record, 2, "12");
  Run(db, "insert-number-as-text", kMarkers, record);
  MsiRecordSetStringA(record, 2, "twelve");
  Run(db, "create-numbers", "CREATE TABLE `Numbers` (`N` SHORT NOT NULL PRIMARY KEY `N`)", 0);
  Run(db, "insert-text-into-short", "INSERT INTO `Numbers` (`N`) VALUES (?)", record);
  MsiRecordSetStringA(record, 1, "");
  MsiRecordSetInteger(record, 2, 1);
  Run(db, "insert-null-key", kMarkers, record);
  MsiCloseHandle(record);
  record = MsiCreateRecord(2);
  Run(db, "insert-short-record", kMarkers, record);
  MsiCloseHandle(record);
  Run(db, "insert-no-record", "INSERT INTO `Numbers` (`N`) VALUES (?)", 0);
  Run(db, "insert-literals",
      "INSERT INTO `Kinds` (`Key`, `Num`, `Big`, `Text`, `Loc`) "
      "VALUES ('beta', -3, -70000, 'x y', 'loc')",
      0);
  Run(db, "insert-nulls",
      "INSERT INTO `Kinds` (`Key`, `Num`, `Big`, `Text`) VALUES ('gamma', NULL, NULL, NULL)", 0);
  Run(db, "insert-empty-text",
      "INSERT INTO `Kinds` (`Key`, `Num`, `Big`, `Text`) VALUES ('delta', 1, 1, '')", 0);
  Run(db, "insert-too-many-values", "INSERT INTO `Kinds` (`Key`) VALUES ('x', 'y')", 0);
  Run(db, "insert-pair-1", "INSERT INTO `Pairs` (`A`, `B`, `V`) VALUES ('a', 1, 'one')", 0);
  Run(db, "insert-pair-2", "INSERT INTO `Pairs` (`A`, `B`, `V`) VALUES ('a', 2, 'two')", 0);
  Run(db, "insert-pair-3", "INSERT INTO `Pairs` (`A`, `B`) VALUES ('b', 1)", 0);
  Run(db, "insert-pair-duplicate", "INSERT INTO `Pairs` (`A`, `B`, `V`) VALUES ('a', 1, 'x')", 0);
  Run(db, "insert-pair-null-key", "INSERT INTO `Pairs` (`A`, `V`) VALUES ('c', 'x')", 0);
}

static void SelectRows(MSIHANDLE db) {
  static const char* const kQueries[][2] = {
      {"select-all", "SELECT * FROM `Kinds`"},
      {"select-stored-order", "SELECT `Key` FROM `Kinds`"},
      {"select-columns", "SELECT `Text`, `Key` FROM `Kinds`"},
      {"where-equal", "SELECT `Key` FROM `Kinds` WHERE `Num` = 7"},
      {"where-not-equal", "SELECT `Key` FROM `Kinds` WHERE `Num` <> 7"},
      {"where-less", "SELECT `Key` FROM `Kinds` WHERE `Num` < 0"},
      {"where-greater", "SELECT `Key` FROM `Kinds` WHERE `Big` > 1"},
      {"where-less-equal", "SELECT `Key` FROM `Kinds` WHERE `Num` <= 7"},
      {"where-greater-equal", "SELECT `Key` FROM `Kinds` WHERE `Num` >= 7"},
      {"where-is-null", "SELECT `Key` FROM `Kinds` WHERE `Num` IS NULL"},
      {"where-is-not-null", "SELECT `Key` FROM `Kinds` WHERE `Text` IS NOT NULL"},
      {"where-and", "SELECT `Key` FROM `Kinds` WHERE `Num` > 0 AND `Big` > 1"},
      {"where-or", "SELECT `Key` FROM `Kinds` WHERE `Num` < 0 OR `Text` = 'hello'"},
      {"where-parentheses",
       "SELECT `Key` FROM `Kinds` WHERE (`Num` = 7 OR `Num` = -3) AND `Big` > 0"},
      {"where-text", "SELECT `Key` FROM `Kinds` WHERE `Text` = 'x y'"},
      {"where-empty-text", "SELECT `Key` FROM `Kinds` WHERE `Text` = ''"},
      {"where-two-keys", "SELECT `V` FROM `Pairs` WHERE `A` = 'a' AND `B` = 2"},
      {"where-null-value", "SELECT `A`, `B` FROM `Pairs` WHERE `V` IS NULL"},
      {"pairs-stored-order", "SELECT * FROM `Pairs`"},
      {"order-by-text", "SELECT `Key` FROM `Kinds` ORDER BY `Key`"},
      {"order-by-number", "SELECT `Key`, `Num` FROM `Kinds` WHERE `Num` <> 0 ORDER BY `Num`"},
      {"select-distinct", "SELECT DISTINCT `Text` FROM `Kinds`"},
      {"select-distinct-columns", "SELECT DISTINCT `Big`, `Text` FROM `Kinds`"},
      {"select-distinct-ordered", "SELECT DISTINCT `Big` FROM `Kinds` ORDER BY `Big`"},
      {"leading-white-space", "\f\t\n SELECT `Key` FROM `Kinds` WHERE `Num` = 7"},
      {"only-white-space", " \f\v\t "},
  };
  for (size_t i = 0; i < sizeof kQueries / sizeof kQueries[0]; ++i) {
    Show(db, kQueries[i][0], kQueries[i][1], 0);
  }
  MSIHANDLE key = Texts("beta", NULL, NULL);
  Show(db, "where-marker", "SELECT `Key`, `Big` FROM `Kinds` WHERE `Key` = ?", key);
  MsiCloseHandle(key);
}

static void UpdateAndDelete(MSIHANDLE db) {
  Run(db, "update", "UPDATE `Kinds` SET `Num` = 8 WHERE `Key` = 'alpha'", 0);
  MSIHANDLE values = Texts("changed", "alpha", NULL);
  Run(db, "update-markers", "UPDATE `Kinds` SET `Text` = ? WHERE `Key` = ?", values);
  MsiCloseHandle(values);
  Run(db, "update-two-columns", "UPDATE `Kinds` SET `Num` = 5, `Big` = 6 WHERE `Key` = 'gamma'", 0);
  Run(db, "update-to-null", "UPDATE `Kinds` SET `Loc` = NULL WHERE `Key` = 'beta'", 0);
  Run(db, "update-key", "UPDATE `Kinds` SET `Key` = 'other' WHERE `Key` = 'delta'", 0);
  Run(db, "update-no-rows", "UPDATE `Kinds` SET `Num` = 1 WHERE `Key` = 'nobody'", 0);
  Run(db, "update-not-null-to-null", "UPDATE `Pairs` SET `V` = NULL WHERE `A` = 'a'", 0);
  Show(db, "after-update", "SELECT `Key`, `Num`, `Big`, `Text`, `Loc` FROM `Kinds`", 0);
  Run(db, "delete", "DELETE FROM `Kinds` WHERE `Key` = 'delta'", 0);
  Run(db, "delete-two-keys", "DELETE FROM `Pairs` WHERE `A` = 'a' AND `B` = 2", 0);
  Run(db, "delete-no-rows", "DELETE FROM `Pairs` WHERE `A` = 'nobody'", 0);
  Show(db, "after-delete", "SELECT `Key` FROM `Kinds`", 0);
  Show(db, "after-delete-pairs", "SELECT `A`, `B`, `V` FROM `Pairs`", 0);
}

static void Modify(MSIHANDLE view, const char* label, int mode, MSIHANDLE record) {
  Print(label, " rc=%u", MsiViewModify(view, mode, record));
}

static void ModifyRows(MSIHANDLE db) {
  MSIHANDLE view = 0;
  MSIHANDLE row = 0;
  MsiDatabaseOpenViewA(db, "SELECT `Key`, `Num`, `Text` FROM `Kinds`", &view);
  MSIHANDLE fresh = MsiCreateRecord(3);
  MsiRecordSetStringA(fresh, 1, "kappa");
  MsiRecordSetInteger(fresh, 2, 9);
  MsiViewExecute(view, 0);
  Print("modify-fetch", " rc=%u", MsiViewFetch(view, &row));
  MsiRecordSetInteger(row, 2, 42);
  Modify(view, "modify-update", kModifyUpdate, row);
  MsiRecordSetStringA(row, 3, "refreshed away");
  Modify(view, "modify-refresh", kModifyRefresh, row);
  PrintRecord("modify-refresh", row);
  Modify(view, "modify-insert", kModifyInsert, fresh);
  Modify(view, "modify-insert-duplicate", kModifyInsert, fresh);
  Modify(view, "modify-update-unfetched", kModifyUpdate, fresh);
  MsiRecordSetInteger(fresh, 2, 10);
  Modify(view, "modify-assign-existing", kModifyAssign, fresh);
  MsiRecordSetStringA(fresh, 1, "lambda");
  Modify(view, "modify-assign-new", kModifyAssign, fresh);
  Modify(view, "modify-merge-same", kModifyMerge, fresh);
  MsiRecordSetInteger(fresh, 2, 11);
  Modify(view, "modify-merge-different", kModifyMerge, fresh);
  MsiRecordSetStringA(fresh, 1, "mu");
  Modify(view, "modify-merge-new", kModifyMerge, fresh);
  MsiRecordSetStringA(row, 3, "changed");
  Modify(view, "modify-replace", kModifyReplace, row);
  MsiRecordSetStringA(fresh, 1, "nu");
  Modify(view, "modify-insert-temporary", kModifyInsertTemporary, fresh);
  MsiRecordSetStringA(fresh, 1, "lambda");
  MsiRecordSetInteger(fresh, 2, 0);
  Modify(view, "modify-seek", kModifySeek, fresh);
  PrintRecord("modify-seek", fresh);
  MsiCloseHandle(row);
  Print("modify-fetch-second", " rc=%u", MsiViewFetch(view, &row));
  Modify(view, "modify-delete", kModifyDelete, row);
  Modify(view, "modify-bad-mode", 99, fresh);
  MsiCloseHandle(row);
  MsiCloseHandle(fresh);
  MsiCloseHandle(view);
  Show(db, "after-modify", "SELECT `Key`, `Num`, `Text` FROM `Kinds`", 0);

  MsiDatabaseOpenViewA(db, "UPDATE `Kinds` SET `Num` = 3 WHERE `Key` = 'mu'", &view);
  MsiViewExecute(view, 0);
  row = Texts("mu", NULL, NULL);
  Modify(view, "modify-on-update-view", kModifyDelete, row);
  Print("fetch-on-update-view", " rc=%u", MsiViewFetch(view, &fresh));
  MsiCloseHandle(row);
  MsiCloseHandle(view);
}

static void FetchEdges(MSIHANDLE db) {
  MSIHANDLE view = 0;
  MSIHANDLE row = 0;
  MsiDatabaseOpenViewA(db, "SELECT `A` FROM `Pairs`", &view);
  Print("fetch-before-execute", " rc=%u", MsiViewFetch(view, &row));
  MsiViewExecute(view, 0);
  Print("fetch-executed", " rc=%u", MsiViewFetch(view, &row));
  MsiCloseHandle(row);
  while (MsiViewFetch(view, &row) == 0) MsiCloseHandle(row);
  Print("fetch-past-end", " rc=%u", MsiViewFetch(view, &row));
  Print("close-view", " rc=%u", MsiViewClose(view));
  Print("fetch-after-close", " rc=%u", MsiViewFetch(view, &row));
  Print("execute-again", " rc=%u", MsiViewExecute(view, 0));
  Print("execute-twice", " rc=%u", MsiViewExecute(view, 0));
  Print("fetch-again", " rc=%u", MsiViewFetch(view, &row));
  MsiCloseHandle(row);
  MsiCloseHandle(view);
}

static void GetStringSizes(void) {
  static const DWORD kSizes[] = {0, 1, 5, 6};
  MSIHANDLE record = MsiCreateRecord(3);
  MsiRecordSetStringA(record, 1, "hello");
  MsiRecordSetInteger(record, 2, 12345);
  for (UINT field = 1; field <= 4; ++field) {
    for (size_t i = 0; i < sizeof kSizes / sizeof kSizes[0]; ++i) {
      char buffer[16] = "..............";
      DWORD size = kSizes[i];
      const UINT rc = MsiRecordGetStringA(record, field, buffer, &size);
      Print(field > 3 ? "get-string-past-end" : "get-string",
            " field=%u capacity=%lu rc=%u size=%lu text='%s'", field, (unsigned long)kSizes[i], rc,
            (unsigned long)size, buffer);
    }
    DWORD size = 0;
    const UINT rc = MsiRecordGetStringA(record, field, NULL, &size);
    Print("get-string-length", " field=%u rc=%u size=%lu", field, rc, (unsigned long)size);
  }
  Print("field-count", " %u", MsiRecordGetFieldCount(record));
  Print("set-empty-is-null", " rc=%u null=%d", MsiRecordSetStringA(record, 1, ""),
        MsiRecordIsNull(record, 1));
  Print("set-past-end", " rc=%u", MsiRecordSetStringA(record, 4, "x"));
  Print("integer-of-text", " %d", MsiRecordGetInteger(record, 3));
  MsiRecordSetStringA(record, 3, "-17");
  Print("integer-of-number-text", " %d", MsiRecordGetInteger(record, 3));
  MsiCloseHandle(record);
  Print("closed-handle", " rc=%u", MsiCloseHandle(record));
  Print("create-record-0", " count=%u", MsiRecordGetFieldCount(record = MsiCreateRecord(0)));
  MsiCloseHandle(record);
}

static void BadSql(MSIHANDLE db) {
  static const char* const kStatements[][2] = {
      {"bad-keyword", "SELEC * FROM `Kinds`"},
      {"bad-no-columns", "SELECT FROM `Kinds`"},
      {"bad-empty-where", "SELECT * FROM `Kinds` WHERE"},
      {"bad-empty", ""},
      {"bad-unclosed-quote", "SELECT * FROM `Kinds` WHERE `Key` = 'x"},
      {"bad-doubled-quote", "SELECT * FROM `Kinds` WHERE `Key` = 'it''s'"},
      {"bad-trailing", "SELECT * FROM `Kinds` garbage"},
      {"unknown-table", "SELECT * FROM `Missing`"},
      {"unknown-column", "SELECT `Nope` FROM `Kinds`"},
      {"unknown-where-column", "SELECT * FROM `Kinds` WHERE `Nope` = 1"},
      {"unknown-insert-column", "INSERT INTO `Kinds` (`Nope`) VALUES (1)"},
      {"unknown-update-table", "UPDATE `Missing` SET `A` = 1"},
      {"unknown-update-column", "UPDATE `Kinds` SET `Nope` = 1"},
      {"unknown-delete-table", "DELETE FROM `Missing`"},
      {"plain-names", "SELECT Num FROM Kinds WHERE Num = 42"},
  };
  for (size_t i = 0; i < sizeof kStatements / sizeof kStatements[0]; ++i) {
    Run(db, kStatements[i][0], kStatements[i][1], 0);
  }
}

static int WritePayload(void) {
  FILE* file = fopen(PathOf("payload.bin"), "wb");
  if (file == NULL) return 0;
  for (unsigned i = 0; i < 5000; ++i) fputc((int)(i * 7 % 251), file);
  return fclose(file) == 0;
}

/* Reads a stream field in two pieces and prints the sizes and a checksum. */
static void PrintStream(const char* label, MSIHANDLE record, UINT field) {
  char buffer[6000];
  DWORD left = 0;
  const UINT rc = MsiRecordReadStream(record, field, NULL, &left);
  DWORD first = 1000;
  const UINT rc1 = MsiRecordReadStream(record, field, buffer, &first);
  DWORD second = sizeof buffer - 1000;
  const UINT rc2 = MsiRecordReadStream(record, field, buffer + 1000, &second);
  DWORD sum = 0;
  for (DWORD i = 0; rc1 == 0 && rc2 == 0 && i < first + second; ++i) {
    sum = sum * 31 + (unsigned char)buffer[i];
  }
  Print(label, " rc=%u size=%lu reads=%u,%u got=%lu,%lu sum=%lu", rc, (unsigned long)left, rc1, rc2,
        (unsigned long)first, (unsigned long)second, (unsigned long)sum);
}

static void Streams(MSIHANDLE db) {
  MSIHANDLE record = MsiCreateRecord(1);
  Print("set-stream", " rc=%u", MsiRecordSetStreamA(record, 1, PathOf("payload.bin")));
  MSIHANDLE other = MsiCreateRecord(1);
  Print("set-stream-missing-file", " rc=%u", MsiRecordSetStreamA(other, 1, PathOf("missing.bin")));
  MsiCloseHandle(other);
  Run(db, "insert-object", "INSERT INTO `Kinds` (`Key`, `Blob`) VALUES ('blob', ?)", record);
  Run(db, "insert-stream-row", "INSERT INTO `_Streams` (`Name`, `Data`) VALUES ('Loose', ?)",
      record);
  Run(db, "insert-stream-name-only", "INSERT INTO `_Streams` (`Name`) VALUES ('Later')", 0);
  MsiCloseHandle(record);
  Show(db, "stream-names", "SELECT `Name` FROM `_Streams`", 0);
  static const char* const kReads[][2] = {
      {"read-object", "SELECT `Blob` FROM `Kinds` WHERE `Key` = 'blob'"},
      {"read-stream-row", "SELECT `Data` FROM `_Streams` WHERE `Name` = 'Loose'"},
  };
  for (size_t i = 0; i < 2; ++i) {
    MSIHANDLE view = 0;
    MsiDatabaseOpenViewA(db, kReads[i][1], &view);
    MsiViewExecute(view, 0);
    Print(kReads[i][0], " fetch=%u", MsiViewFetch(view, &record));
    PrintStream(kReads[i][0], record, 1);
    PrintRecord(kReads[i][0], record);
    MsiCloseHandle(record);
    MsiCloseHandle(view);
  }
}

static void SummaryInformation(MSIHANDLE db) {
  MSIHANDLE summary = 0;
  Print("summary-open", " rc=%u", MsiGetSummaryInformationA(db, NULL, 4, &summary));
  UINT count = 99;
  Print("summary-count", " rc=%u count=%u", MsiSummaryInfoGetPropertyCount(summary, &count), count);
  Print("summary-title", " rc=%u",
        MsiSummaryInfoSetPropertyA(summary, 2, kVtLpstr, 0, NULL, "A title"));
  Print("summary-pages", " rc=%u", MsiSummaryInfoSetPropertyA(summary, 14, kVtI4, 200, NULL, NULL));
  Print("summary-wrong-type", " rc=%u",
        MsiSummaryInfoSetPropertyA(summary, 2, kVtI4, 5, NULL, NULL));
  Print("summary-unknown-id", " rc=%u",
        MsiSummaryInfoSetPropertyA(summary, 50, kVtLpstr, 0, NULL, "x"));
  Print("summary-author", " rc=%u",
        MsiSummaryInfoSetPropertyA(summary, 4, kVtLpstr, 0, NULL, "Someone"));
  Print("summary-revision", " rc=%u",
        MsiSummaryInfoSetPropertyA(summary, 9, kVtLpstr, 0, NULL, "{GUID}"));
  Print("summary-over-count", " rc=%u",
        MsiSummaryInfoSetPropertyA(summary, 6, kVtLpstr, 0, NULL, "too many"));
  static const UINT kIds[] = {2, 4, 6, 9, 14};
  for (size_t i = 0; i < sizeof kIds / sizeof kIds[0]; ++i) {
    UINT type = 0;
    INT number = 0;
    char text[8] = "";
    DWORD size = sizeof text;
    const UINT rc = MsiSummaryInfoGetPropertyA(summary, kIds[i], &type, &number, NULL, text, &size);
    Print("summary-get", " id=%u rc=%u type=%u int=%d size=%lu text='%s'", kIds[i], rc, type,
          type == kVtI4 ? number : 0, (unsigned long)size, text);
  }
  Print("summary-count", " rc=%u count=%u", MsiSummaryInfoGetPropertyCount(summary, &count), count);
  Print("summary-persist", " rc=%u", MsiSummaryInfoPersist(summary));
  MsiCloseHandle(summary);
}

static void Reopened(void) {
  MSIHANDLE db = 0;
  Print("reopen-read-only", " rc=%u",
        MsiOpenDatabaseA(PathOf("db.msi"), TRANSCRIPT_DBOPEN_READONLY, &db));
  Show(db, "reopened-kinds", "SELECT `Key`, `Num`, `Big`, `Text`, `Loc` FROM `Kinds`", 0);
  Show(db, "reopened-stored-order", "SELECT `Key` FROM `Kinds`", 0);
  Show(db, "reopened-pairs", "SELECT * FROM `Pairs`", 0);
  Show(db, "reopened-tables", "SELECT `Name` FROM `_Tables`", 0);
  Show(db, "reopened-columns", "SELECT * FROM `_Columns` WHERE `Table` = 'Pairs'", 0);
  Run(db, "insert-read-only", "INSERT INTO `Pairs` (`A`, `B`) VALUES ('r', 1)", 0);
  MSIHANDLE summary = 0;
  MsiGetSummaryInformationA(db, NULL, 0, &summary);
  char text[32] = "";
  DWORD size = sizeof text;
  UINT type = 0;
  Print("reopened-summary", " rc=%u type=%u text='%s'",
        MsiSummaryInfoGetPropertyA(summary, 2, &type, NULL, NULL, text, &size), type, text);
  MsiCloseHandle(summary);
  MsiCloseHandle(db);

  MsiOpenDatabaseA(PathOf("db.msi"), TRANSCRIPT_DBOPEN_TRANSACT, &db);
  Run(db, "uncommitted-insert", "INSERT INTO `Pairs` (`A`, `B`) VALUES ('u', 1)", 0);
  MsiCloseHandle(db);
  MsiOpenDatabaseA(PathOf("db.msi"), TRANSCRIPT_DBOPEN_READONLY, &db);
  Show(db, "uncommitted-gone", "SELECT `A` FROM `Pairs` WHERE `A` = 'u'", 0);
  MsiCloseHandle(db);
  Print("open-missing", " rc=%u",
        MsiOpenDatabaseA(PathOf("missing.msi"), TRANSCRIPT_DBOPEN_READONLY, &db));
  Print("open-not-a-database", " rc=%u",
        MsiOpenDatabaseA(PathOf("payload.bin"), TRANSCRIPT_DBOPEN_READONLY, &db));
}

/* ----- schema changes and temporary tables ----- */

static void PrintColumnInfo(MSIHANDLE db, const char* label, const char* sql) {
  MSIHANDLE view = 0;
  MSIHANDLE info = 0;
  const UINT rc = MsiDatabaseOpenViewA(db, sql, &view);
  if (rc != 0) {
    Print(label, " open=%u", rc);
    return;
  }
  for (int kind = kColumnNames; kind <= kColumnTypes; ++kind) {
    if (MsiViewGetColumnInfo(view, kind, &info) == 0) PrintRecord(label, info);
    MsiCloseHandle(info);
  }
  MsiCloseHandle(view);
}

static void PrintPrimaryKeys(MSIHANDLE db, const char* label, const char* table) {
  MSIHANDLE keys = 0;
  const UINT rc = MsiDatabaseGetPrimaryKeysA(db, table, &keys);
  Print(label, " rc=%u", rc);
  if (rc == 0) PrintRecord(label, keys);
  MsiCloseHandle(keys);
}

/* Exports a table and prints the archive's lines. */
static void PrintExport(MSIHANDLE db, const char* label, const char* table) {
  char file[64];
  snprintf(file, sizeof file, "%s.idt", table);
  char path[1100];
  snprintf(path, sizeof path, "%s", folder);
  if (path[0] != '\0') path[strlen(path) - 1] = '\0';
  Print(label, " rc=%u", MsiDatabaseExportA(db, table, path, file));
  FILE* archive = fopen(PathOf(file), "rb");
  char line[256];
  while (archive != NULL && fgets(line, sizeof line, archive) != NULL) {
    line[strcspn(line, "\r\n")] = '\0';
    for (char* c = line; *c; ++c) {
      if (*c == '\t') *c = '|';
    }
    Print(label, " %s", line);
  }
  if (archive != NULL) fclose(archive);
}

static void PrintViewError(MSIHANDLE view, const char* label, DWORD capacity) {
  char column[32] = "..........";
  DWORD size = capacity;
  const int error = MsiViewGetErrorA(view, column, &size);
  Print(label, " error=%d size=%lu column='%s'", error, (unsigned long)size, column);
}

static void ColumnOrder(MSIHANDLE db) {
  Run(db, "schema-create-key-last",
      "CREATE TABLE `Late` (`V` CHAR(10), `N` SHORT, `K` CHAR(10) NOT NULL PRIMARY KEY `K`)", 0);
  PrintColumnInfo(db, "schema-key-last-info", "SELECT * FROM `Late`");
  Show(db, "schema-key-last-columns", "SELECT * FROM `_Columns` WHERE `Table` = 'Late'", 0);
  PrintPrimaryKeys(db, "schema-key-last-keys", "Late");
  Run(db, "schema-key-last-insert", "INSERT INTO `Late` (`V`, `N`, `K`) VALUES ('value', 3, 'key')",
      0);
  Show(db, "schema-key-last-rows", "SELECT * FROM `Late`", 0);
  Run(db, "schema-create-keys-reversed",
      "CREATE TABLE `Rev` (`A` CHAR(10), `B` SHORT NOT NULL, `C` CHAR(10) NOT NULL "
      "PRIMARY KEY `C`, `B`)",
      0);
  PrintColumnInfo(db, "schema-keys-reversed-info", "SELECT * FROM `Rev`");
  PrintPrimaryKeys(db, "schema-keys-reversed-keys", "Rev");
  Run(db, "schema-keys-reversed-insert", "INSERT INTO `Rev` (`A`, `B`, `C`) VALUES ('a', 2, 'c')",
      0);
  Show(db, "schema-keys-reversed-rows", "SELECT * FROM `Rev`", 0);
  PrintExport(db, "schema-keys-reversed-export", "Rev");
  Run(db, "schema-create-keys-scattered",
      "CREATE TABLE `Scattered` (`A` SHORT NOT NULL, `B` SHORT, `C` SHORT NOT NULL, `D` SHORT, "
      "`E` SHORT NOT NULL, `F` SHORT PRIMARY KEY `E`, `A`, `C`)",
      0);
  PrintColumnInfo(db, "schema-keys-scattered-info", "SELECT * FROM `Scattered`");
}

/* Runs each {label, statement} pair. */
static void RunEach(MSIHANDLE db, const char* const statements[][2], size_t count) {
  for (size_t i = 0; i < count; ++i) Run(db, statements[i][0], statements[i][1], 0);
}

static void AlterTable(MSIHANDLE db) {
  static const char* const kAdds[][2] = {
      {"schema-add-again", "ALTER TABLE `Late` ADD `Extra` SHORT"},
      {"schema-add-missing-table", "ALTER TABLE `Nowhere` ADD `X` SHORT"},
      {"schema-add-not-null", "ALTER TABLE `Late` ADD `Must` CHAR(5) NOT NULL"},
      {"schema-add-localizable", "ALTER TABLE `Late` ADD `Loc` CHAR(5) LOCALIZABLE"},
      {"schema-add-object", "ALTER TABLE `Late` ADD `Blob` OBJECT"},
      {"schema-add-temporary", "ALTER TABLE `Late` ADD `Tmp` CHAR(10) TEMPORARY"},
  };
  static const char* const kHolds[][2] = {
      {"schema-add-temporary-hold", "ALTER TABLE `Late` ADD `Held` SHORT TEMPORARY HOLD"},
      {"schema-hold", "ALTER TABLE `Late` HOLD"},
      {"schema-free", "ALTER TABLE `Late` FREE"},
      {"schema-add-after-temporary", "ALTER TABLE `Late` ADD `After` SHORT"},
      {"schema-hold-catalog", "ALTER TABLE `_Tables` HOLD"},
      {"schema-free-catalog", "ALTER TABLE `_Columns` FREE"},
  };
  static const char* const kRefused[][2] = {
      {"schema-free-unheld", "ALTER TABLE `Late` FREE"},
      {"schema-hold-missing", "ALTER TABLE `Nowhere` HOLD"},
      {"schema-free-missing", "ALTER TABLE `Nowhere` FREE"},
      {"schema-alter-bad", "ALTER TABLE `Late` DROP `V`"},
  };
  Run(db, "schema-add-column", "ALTER TABLE `Late` ADD `Extra` SHORT", 0);
  PrintColumnInfo(db, "schema-added-info", "SELECT * FROM `Late`");
  Show(db, "schema-added-rows", "SELECT * FROM `Late`", 0);
  Show(db, "schema-added-columns", "SELECT * FROM `_Columns` WHERE `Table` = 'Late'", 0);
  RunEach(db, kAdds, sizeof kAdds / sizeof kAdds[0]);
  PrintColumnInfo(db, "schema-temporary-info", "SELECT * FROM `Late`");
  Show(db, "schema-temporary-columns", "SELECT * FROM `_Columns` WHERE `Table` = 'Late'", 0);
  Run(db, "schema-set-temporary", "UPDATE `Late` SET `Tmp` = 'gone', `Extra` = 9", 0);
  Show(db, "schema-temporary-rows", "SELECT * FROM `Late`", 0);
  RunEach(db, kHolds, sizeof kHolds / sizeof kHolds[0]);
  PrintColumnInfo(db, "schema-held-info", "SELECT * FROM `Late`");
  Run(db, "schema-free-last", "ALTER TABLE `Late` FREE", 0);
  PrintColumnInfo(db, "schema-freed-info", "SELECT * FROM `Late`");
  RunEach(db, kRefused, sizeof kRefused / sizeof kRefused[0]);
}

static void TemporaryTables(MSIHANDLE db) {
  Run(db, "schema-create-temporary",
      "CREATE TABLE `Temp` (`A` CHAR(10) NOT NULL TEMPORARY, `B` SHORT TEMPORARY PRIMARY KEY `A`)",
      0);
  Run(db, "schema-temporary-insert", "INSERT INTO `Temp` (`A`, `B`) VALUES ('t', 1)", 0);
  Show(db, "schema-temporary-select", "SELECT * FROM `Temp`", 0);
  Run(db, "schema-create-held",
      "CREATE TABLE `Held` (`A` CHAR(10) NOT NULL TEMPORARY, `B` SHORT TEMPORARY PRIMARY KEY `A`) "
      "HOLD",
      0);
  Run(db, "schema-held-insert", "INSERT INTO `Held` (`A`, `B`) VALUES ('h', 2)", 0);
  Show(db, "schema-held-select", "SELECT * FROM `Held`", 0);
  Run(db, "schema-create-mixed-hold",
      "CREATE TABLE `MixedHold` (`A` CHAR(10) NOT NULL, `B` SHORT TEMPORARY PRIMARY KEY `A`) HOLD",
      0);
  Show(db, "schema-tables", "SELECT `Name` FROM `_Tables`", 0);
  Show(db, "schema-held-columns",
       "SELECT * FROM `_Columns` WHERE `Table` = 'Held' OR `Table` = 'MixedHold'", 0);
  Print("schema-persistent-bad-handle", " %d", MsiDatabaseIsTablePersistentA(0, "Late"));
  Print("schema-persistent-no-name", " %d", MsiDatabaseIsTablePersistentA(db, NULL));
  static const char* const kTables[] = {"Late",    "Temp",     "Held",    "MixedHold",
                                        "Nowhere", "_Columns", "_Tables", "_Streams"};
  for (size_t i = 0; i < sizeof kTables / sizeof kTables[0]; ++i) {
    Print("schema-persistent", " %s=%d", kTables[i], MsiDatabaseIsTablePersistentA(db, kTables[i]));
  }
  Run(db, "schema-free-held", "ALTER TABLE `Held` FREE", 0);
  Show(db, "schema-freed-select", "SELECT * FROM `Held`", 0);
  Print("schema-freed-persistent", " %d", MsiDatabaseIsTablePersistentA(db, "Held"));
  Show(db, "schema-tables-after-free", "SELECT `Name` FROM `_Tables`", 0);
}

static void TemporaryRows(MSIHANDLE db) {
  Run(db, "schema-create-rows",
      "CREATE TABLE `Rows` (`K` CHAR(10) NOT NULL, `N` SHORT PRIMARY KEY `K`)", 0);
  Run(db, "schema-insert-temporary-row", "INSERT INTO `Rows` (`K`, `N`) VALUES ('a', 1) TEMPORARY",
      0);
  Run(db, "schema-insert-row-b", "INSERT INTO `Rows` (`K`, `N`) VALUES ('b', 2)", 0);
  Run(db, "schema-insert-row-c", "INSERT INTO `Rows` (`K`, `N`) VALUES ('c', 3)", 0);
  MSIHANDLE view = 0;
  MSIHANDLE row = 0;
  MsiDatabaseOpenViewA(db, "SELECT `K`, `N` FROM `Rows` WHERE `K` = 'b'", &view);
  MsiViewExecute(view, 0);
  MSIHANDLE fresh = MsiCreateRecord(2);
  MsiRecordSetStringA(fresh, 1, "d");
  MsiRecordSetInteger(fresh, 2, 4);
  Modify(view, "schema-filtered-insert-temporary", kModifyInsertTemporary, fresh);
  while (MsiViewFetch(view, &row) == 0) {
    PrintRecord("schema-filtered-fetch", row);
    MsiCloseHandle(row);
  }
  MsiRecordSetStringA(fresh, 1, "e");
  Modify(view, "schema-filtered-insert", kModifyInsert, fresh);
  Modify(view, "schema-insert-duplicate", kModifyInsert, fresh);
  PrintViewError(view, "schema-error-after-insert", 32);
  Modify(view, "schema-validate-new-duplicate", kModifyValidateNew, fresh);
  PrintViewError(view, "schema-error-duplicate", 32);
  PrintViewError(view, "schema-error-drained", 32);
  MsiRecordSetStringA(fresh, 1, "");
  Modify(view, "schema-validate-null-key", kModifyValidate, fresh);
  PrintViewError(view, "schema-error-null-key", 1);
  PrintViewError(view, "schema-error-null-key-again", 32);
  MsiRecordSetStringA(fresh, 1, "f");
  Modify(view, "schema-validate-new-fresh", kModifyValidateNew, fresh);
  PrintViewError(view, "schema-error-fresh", 32);
  MsiRecordSetStringA(fresh, 1, "much too long");
  Modify(view, "schema-validate-long", kModifyValidate, fresh);
  PrintViewError(view, "schema-error-long", 32);
  MsiRecordSetStringA(fresh, 1, "");
  Modify(view, "schema-validate-field", kModifyValidateField, fresh);
  Modify(view, "schema-validate-delete", kModifyValidateDelete, fresh);
  Print("schema-error-no-size", " %d", MsiViewGetErrorA(view, NULL, NULL));
  Print("schema-error-bad-handle", " %d", MsiViewGetErrorA(0, NULL, NULL));
  MsiCloseHandle(fresh);
  MsiCloseHandle(view);
  Show(db, "schema-rows-before-commit", "SELECT * FROM `Rows`", 0);
}

static void SchemaChanges(void) {
  MSIHANDLE db = 0;
  Print("schema-create", " rc=%u",
        MsiOpenDatabaseA(PathOf("schema.msi"), TRANSCRIPT_DBOPEN_CREATE, &db));
  ColumnOrder(db);
  AlterTable(db);
  TemporaryTables(db);
  TemporaryRows(db);
  db = CommitAndReopen(db, "schema-commit", "schema.msi", TRANSCRIPT_DBOPEN_READONLY);
  Show(db, "schema-reopened-tables", "SELECT `Name` FROM `_Tables`", 0);
  Show(db, "schema-reopened-columns", "SELECT * FROM `_Columns`", 0);
  Show(db, "schema-reopened-rows", "SELECT * FROM `Rows`", 0);
  Show(db, "schema-reopened-late", "SELECT * FROM `Late`", 0);
  MsiCloseHandle(db);
}

/* SQL side: joins, constant columns, the order of text, what the parser refuses and accepts,
   fetching past the end, field 0, SEEK and MERGE through views of some columns. */
static void ShowColumns(MSIHANDLE db, const char* label, const char* sql) {
  MSIHANDLE view = 0;
  MSIHANDLE info = 0;
  const UINT rc = MsiDatabaseOpenViewA(db, sql, &view);
  Print(label, " rc=%u", rc);
  for (int kind = kColumnNames; rc == 0 && kind <= kColumnTypes; ++kind) {
    MsiViewGetColumnInfo(view, kind, &info);
    PrintRecord(label, info);
    MsiCloseHandle(info);
  }
  MsiCloseHandle(view);
}

static void SqlJoins(MSIHANDLE db) {
  static const char* const kSetUp[] = {
      "CREATE TABLE `Comp` (`Comp` CHAR(20) NOT NULL, `Dir` CHAR(20), `Attr` SHORT "
      "PRIMARY KEY `Comp`)",
      "CREATE TABLE `FC` (`Feat` CHAR(20) NOT NULL, `Comp_` CHAR(20) NOT NULL "
      "PRIMARY KEY `Feat`, `Comp_`)",
      "CREATE TABLE `Num` (`N` SHORT NOT NULL, `T` CHAR(10) PRIMARY KEY `N`)",
      "CREATE TABLE `Req` (`K` CHAR(10) NOT NULL, `N` SHORT, `M` SHORT NOT NULL PRIMARY KEY `K`)",
      "CREATE TABLE `Obj` (`K` CHAR(8) NOT NULL, `B` OBJECT PRIMARY KEY `K`)",
      "INSERT INTO `Comp` (`Comp`, `Dir`, `Attr`) VALUES ('zc', 'd1', 1)",
      "INSERT INTO `Comp` (`Comp`, `Dir`, `Attr`) VALUES ('ac', 'd2', 2)",
      "INSERT INTO `Comp` (`Comp`, `Dir`, `Attr`) VALUES ('mc', 'd1', 3)",
      "INSERT INTO `FC` (`Feat`, `Comp_`) VALUES ('f2', 'mc')",
      "INSERT INTO `FC` (`Feat`, `Comp_`) VALUES ('f1', 'zc')",
      "INSERT INTO `FC` (`Feat`, `Comp_`) VALUES ('f1', 'ac')",
      "INSERT INTO `FC` (`Feat`, `Comp_`) VALUES ('f3', 'zc')",
      "INSERT INTO `Num` (`N`, `T`) VALUES (2, 'two')",
      "INSERT INTO `Num` (`N`, `T`) VALUES (1, 'one')",
  };
  static const char* const kQueries[][2] = {
      {"sql-join-cross", "SELECT * FROM `Comp`, `Num`"},
      {"sql-join", "SELECT `Feat`, `Comp`, `Dir` FROM `FC`, `Comp` WHERE `Comp_` = `Comp`"},
      {"sql-join-reversed",
       "SELECT `Feat`, `Comp`, `Dir` FROM `Comp`, `FC` WHERE `Comp` = `Comp_`"},
      {"sql-join-qualified",
       "SELECT `FC`.`Feat`, `Comp`.`Comp` FROM `FC`, `Comp` WHERE `FC`.`Comp_` = `Comp`.`Comp`"},
      {"sql-join-star", "SELECT * FROM `FC`, `Comp` WHERE `FC`.`Comp_` = `Comp`.`Comp`"},
      {"sql-join-order",
       "SELECT `Feat`, `Comp` FROM `FC`, `Comp` WHERE `Comp_` = `Comp` ORDER BY `Feat`, `Attr`"},
      {"sql-join-and",
       "SELECT `Feat`, `Comp` FROM `FC`, `Comp` WHERE `Comp_` = `Comp` AND `Attr` > 1"},
      {"sql-join-or",
       "SELECT `Feat`, `Comp` FROM `FC`, `Comp` WHERE `Comp_` = `Comp` OR `Attr` = 1"},
      {"sql-join-three",
       "SELECT `Feat`, `Comp`, `T` FROM `FC`, `Comp`, `Num` WHERE `Comp_` = `Comp` AND `Attr` = "
       "`N`"},
      {"sql-join-self", "SELECT * FROM `Num`, `Num`"},
      {"sql-join-text-with-number", "SELECT `Feat` FROM `FC`, `Num` WHERE `Comp_` = `N`"},
      {"sql-join-numbers", "SELECT `Comp`, `T` FROM `Comp`, `Num` WHERE `Attr` = `N`"},
      {"sql-join-other-table-column", "SELECT `FC`.`Feat` FROM `Comp`"},
      {"sql-constant-empty", "SELECT '', `Dir` FROM `Comp`"},
      {"sql-constant-number", "SELECT 1, `Dir` FROM `Comp`"},
      {"sql-order-text", "SELECT `Dir`, `Comp` FROM `Comp` ORDER BY `Dir`, `Comp`"},
  };
  MSIHANDLE view = 0;
  MSIHANDLE row = 0;
  for (size_t i = 0; i < sizeof kSetUp / sizeof kSetUp[0]; ++i) Run(db, "sql-set-up", kSetUp[i], 0);
  for (size_t i = 0; i < sizeof kQueries / sizeof kQueries[0]; ++i) {
    Show(db, kQueries[i][0], kQueries[i][1], 0);
  }
  ShowColumns(db, "sql-join-star-columns", "SELECT * FROM `FC`, `Comp`");
  ShowColumns(db, "sql-constant-columns", "SELECT '', `Dir` FROM `Comp`");
  MsiDatabaseOpenViewA(db, "SELECT `Feat`, `Comp`, `Dir` FROM `FC`, `Comp` WHERE `Comp_` = `Comp`",
                       &view);
  MsiViewExecute(view, 0);
  Print("sql-join-fetch", " rc=%u", MsiViewFetch(view, &row));
  MsiRecordSetStringA(row, 3, "dX");
  Print("sql-join-update", " rc=%u", MsiViewModify(view, kModifyUpdate, row));
  Print("sql-join-delete", " rc=%u", MsiViewModify(view, kModifyDelete, row));
  MsiCloseHandle(row);
  MsiCloseHandle(view);
  Show(db, "sql-join-updated", "SELECT `Comp`, `Dir` FROM `Comp`", 0);
}

static void SqlTableOrder(MSIHANDLE db) {
  /* A table named by a text that the pool already holds is listed at that text's place. */
  Run(db, "sql-set-up", "INSERT INTO `Num` (`N`, `T`) VALUES (3, 'Later')", 0);
  Run(db, "sql-set-up", "CREATE TABLE `Other` (`A` SHORT PRIMARY KEY `A`)", 0);
  Run(db, "sql-set-up", "CREATE TABLE `Later` (`A` SHORT PRIMARY KEY `A`)", 0);
  Show(db, "sql-tables-order", "SELECT `Name` FROM `_Tables`", 0);
}

static void SqlAcceptAndRefuse(MSIHANDLE db) {
  static const char* const kStatements[][2] = {
      {"sql-reserved-table", "CREATE TABLE Order (`A` SHORT PRIMARY KEY `A`)"},
      {"sql-reserved-table-lower", "SELECT * FROM select"},
      {"sql-reserved-column", "SELECT Key FROM `Comp`"},
      {"sql-reserved-quoted", "CREATE TABLE `Order` (`A` SHORT PRIMARY KEY `A`)"},
      {"sql-like-reserved", "CREATE TABLE Like (`A` SHORT PRIMARY KEY `A`)"},
      {"sql-join-not-reserved", "CREATE TABLE Join (`A` SHORT PRIMARY KEY `A`)"},
      {"sql-digit-first-name", "CREATE TABLE 1abc (`A` SHORT PRIMARY KEY `A`)"},
      {"sql-line-break-crlf", "SELECT `Comp` FROM `Comp`\r\nWHERE `Attr` = 1"},
      {"sql-line-break-cr", "SELECT `Comp` FROM `Comp`\rWHERE `Attr` = 1"},
      {"sql-line-break-lf", "SELECT `Comp` FROM `Comp`\nWHERE `Attr` = 1"},
      {"sql-line-break-leading", "\r\nSELECT `Comp` FROM `Comp`"},
      {"sql-vertical-tab", "SELECT `Comp` FROM `Comp`\vWHERE `Attr` = 1"},
      {"sql-line-break-in-text", "SELECT `Comp` FROM `Comp` WHERE `Dir` = 'a\r\nb'"},
      {"sql-line-break-in-name", "SELECT `Comp` FROM `Comp` WHERE `Dir\n` = 'a'"},
      {"sql-text-less", "SELECT `Comp` FROM `Comp` WHERE `Dir` < 'b'"},
      {"sql-text-greater-equal-marker", "SELECT `Comp` FROM `Comp` WHERE `Dir` >= ?"},
      {"sql-text-columns-less", "SELECT `Comp` FROM `Comp` WHERE `Comp` < `Dir`"},
      {"sql-number-less-text", "SELECT `Comp` FROM `Comp` WHERE `Attr` < 'b'"},
      {"sql-number-equals-text", "SELECT `Comp` FROM `Comp` WHERE `Attr` = 'b'"},
      {"sql-number-columns-less", "SELECT `Comp` FROM `Comp`, `Num` WHERE `Attr` < `N`"},
      {"sql-literal-literal", "SELECT `Comp` FROM `Comp` WHERE 1 = 1"},
      {"sql-literal-texts", "SELECT `Comp` FROM `Comp` WHERE 'a' = 'a'"},
      {"sql-literal-left", "SELECT `Comp` FROM `Comp` WHERE 1 = `Attr`"},
      {"sql-marker-left", "SELECT `Comp` FROM `Comp` WHERE ? = `Attr`"},
      {"sql-marker-is-null", "SELECT `Comp` FROM `Comp` WHERE ? IS NULL"},
      {"sql-marker-selected", "SELECT ? FROM `Comp`"},
      {"sql-marker-set", "UPDATE `Comp` SET ? = 1"},
      {"sql-qualified-in-quotes", "SELECT `Comp.Dir` FROM `Comp`"},
      {"sql-qualified-bare", "SELECT Comp.Dir FROM Comp WHERE Comp.Attr = 1"},
      {"sql-qualified-insert",
       "INSERT INTO `Comp` (`Comp`.`Comp`, `Comp`.`Attr`) VALUES ('qc', 4)"},
      {"sql-qualified-order", "SELECT `Comp` FROM `Comp` ORDER BY `Comp`.`Attr`"},
      {"sql-hyphen-name", "CREATE TABLE `a-b` (`x-y` SHORT PRIMARY KEY `x-y`)"},
      {"sql-hyphen-bare", "SELECT x-y FROM a-b"},
      {"sql-star-and-column", "SELECT *, `Comp` FROM `Comp`"},
      {"sql-object-equals", "SELECT `K` FROM `Obj` WHERE `B` = 'x'"},
      {"sql-object-is-null", "SELECT `K` FROM `Obj` WHERE `B` IS NULL"},
      {"sql-constant-text", "SELECT 'text', `Comp` FROM `Comp`"},
      {"sql-insert-empty-into-not-null-number", "INSERT INTO `Req` (`K`, `M`) VALUES ('r', '')"},
      {"sql-insert-null-into-not-null-number", "INSERT INTO `Req` (`K`, `M`) VALUES ('r', NULL)"},
      {"sql-insert-empty-into-number", "INSERT INTO `Comp` (`Comp`, `Attr`) VALUES ('ec', '')"},
      {"sql-insert-digits-into-number", "INSERT INTO `Comp` (`Comp`, `Attr`) VALUES ('dc', '7')"},
  };
  MSIHANDLE marker = Texts("1", NULL, NULL);
  for (size_t i = 0; i < sizeof kStatements / sizeof kStatements[0]; ++i) {
    Run(db, kStatements[i][0], kStatements[i][1], marker);
  }
  MsiCloseHandle(marker);
  Show(db, "sql-empty-name", "SELECT `` FROM `Num`", 0);
  Show(db, "sql-after-inserts", "SELECT * FROM `Comp`", 0);
}

static void SqlFetchAndModify(MSIHANDLE db) {
  MSIHANDLE view = 0;
  MSIHANDLE row = 0;
  MsiDatabaseOpenViewA(db, "SELECT `T` FROM `Num` WHERE `N` < 3", &view);
  MsiViewExecute(view, 0);
  Print("sql-fetch-null-record", " rc=%u", MsiViewFetch(view, NULL));
  while (MsiViewFetch(view, &row) == 0) {
    Print("sql-fetch-field-zero", " null=%d %d", MsiRecordIsNull(row, 0),
          MsiRecordGetInteger(row, 0));
    MsiCloseHandle(row);
  }
  Print("sql-fetch-after-end", " rc=%u", MsiViewFetch(view, &row));
  PrintRecord("sql-fetch-after-end", row);
  MsiCloseHandle(row);
  MsiCloseHandle(view);

  static const char* const kViews[][2] = {
      {"sql-view-without-key", "SELECT `T` FROM `Num`"},
      {"sql-view-key-only", "SELECT `N` FROM `Num`"},
  };
  for (size_t i = 0; i < 2; ++i) {
    char label[64];
    MsiDatabaseOpenViewA(db, kViews[i][1], &view);
    MsiViewExecute(view, 0);
    row = MsiCreateRecord(1);
    if (i == 0) {
      MsiRecordSetStringA(row, 1, "one");
    } else {
      MsiRecordSetInteger(row, 1, 1);
    }
    snprintf(label, sizeof label, "%s-seek", kViews[i][0]);
    Print(label, " rc=%u", MsiViewModify(view, kModifySeek, row));
    snprintf(label, sizeof label, "%s-merge-same", kViews[i][0]);
    Print(label, " rc=%u", MsiViewModify(view, kModifyMerge, row));
    MsiRecordSetInteger(row, 1, 9);
    snprintf(label, sizeof label, "%s-merge-new", kViews[i][0]);
    Print(label, " rc=%u", MsiViewModify(view, kModifyMerge, row));
    MsiCloseHandle(row);
    MsiCloseHandle(view);
  }
  MsiDatabaseOpenViewA(db, "SELECT `Comp`, `Attr` FROM `Comp`", &view);
  MsiViewExecute(view, 0);
  row = MsiCreateRecord(1);
  MsiRecordSetStringA(row, 1, "zc");
  Print("sql-merge-short-record", " rc=%u", MsiViewModify(view, kModifyMerge, row));
  MsiCloseHandle(row);
  MsiCloseHandle(view);
  MsiDatabaseOpenViewA(db, "SELECT `K`, `N` FROM `Req`", &view);
  MsiViewExecute(view, 0);
  row = Texts("r2", "4", NULL);
  Print("sql-merge-new-without-not-null", " rc=%u", MsiViewModify(view, kModifyMerge, row));
  MsiCloseHandle(row);
  MsiCloseHandle(view);
  MsiDatabaseOpenViewA(db, "SELECT `Comp`, `Dir` FROM `Comp`", &view);
  MsiViewExecute(view, 0);
  row = Texts("pc", "dp", NULL);
  Print("sql-merge-new-partial", " rc=%u", MsiViewModify(view, kModifyMerge, row));
  MsiCloseHandle(row);
  MsiCloseHandle(view);
  Show(db, "sql-after-merges", "SELECT * FROM `Comp`", 0);
}

static void Sql(void) {
  MSIHANDLE db = 0;
  Print("sql-create", " rc=%u", MsiOpenDatabaseA(PathOf("sql.msi"), TRANSCRIPT_DBOPEN_CREATE, &db));
  SqlJoins(db);
  SqlTableOrder(db);
  SqlAcceptAndRefuse(db);
  SqlFetchAndModify(db);
  MsiCloseHandle(db);
}

/* ----- Streams from files, archives, output files and code pages ----- */

#ifdef _WIN32
#include <direct.h>
static void MakeFolder(const char* name) {
  _mkdir(PathOf(name));
}
#else
#include <sys/stat.h>
static void MakeFolder(const char* name) {
  mkdir(PathOf(name), 0777);
}
#endif

static void WriteText(const char* name, const char* bytes) {
  FILE* file = fopen(PathOf(name), "wb");
  if (file == NULL) return;
  fputs(bytes, file);
  fclose(file);
}

static int HasFile(const char* name) {
  FILE* file = fopen(PathOf(name), "rb");
  if (file != NULL) fclose(file);
  return file != NULL;
}

/* A file's bytes, control characters as \xNN. */
static void PrintFile(const char* label, const char* name) {
  FILE* file = fopen(PathOf(name), "rb");
  int c;
  fprintf(out, "%s: '", label);
  while (file != NULL && (c = fgetc(file)) != EOF) {
    if (c < 32 || c > 126) {
      fprintf(out, "\\x%02x", c);
    } else {
      fputc(c, out);
    }
  }
  fputs(file != NULL ? "'\n" : "' missing\n", out);
  if (file != NULL) fclose(file);
}

/* Rows of (text, stream): the text and the stream's size and first bytes. */
static void ShowStreams(MSIHANDLE db, const char* label, const char* sql) {
  MSIHANDLE view = 0;
  MSIHANDLE record = 0;
  UINT rc = MsiDatabaseOpenViewA(db, sql, &view);
  if (rc == 0) rc = MsiViewExecute(view, 0);
  while (rc == 0 && (rc = MsiViewFetch(view, &record)) == 0) {
    char name[64] = "";
    char data[32] = "";
    DWORD size = sizeof name;
    DWORD left = 0;
    DWORD got = sizeof data - 1;
    MsiRecordGetStringA(record, 1, name, &size);
    MsiRecordReadStream(record, 2, NULL, &left);
    MsiRecordReadStream(record, 2, data, &got);
    data[got] = '\0';
    Print(label, " '%s' size=%lu '%s'", name, (unsigned long)left, data);
    MsiCloseHandle(record);
  }
  Print(label, " end=%u", rc);
  MsiCloseHandle(view);
}

/* Writes an archive into the folder "arc" and imports it from there. */
static void Import(MSIHANDLE db, const char* label, const char* name, const char* text) {
  char file[128];
  snprintf(file, sizeof file, "arc/%s", name);
  WriteText(file, text);
  Print(label, " rc=%u", MsiDatabaseImportA(db, PathOf("arc"), name));
}

static void StreamsFromFiles(MSIHANDLE db) {
  Run(db, "stream-file-table",
      "CREATE TABLE `Files` (`Name` CHAR(20) NOT NULL, `Data` OBJECT PRIMARY KEY `Name`)", 0);
  MSIHANDLE record = MsiCreateRecord(1);
  WriteText("deleted.bin", "deleted before the insert");
  Print("stream-file-deleted", " rc=%u", MsiRecordSetStreamA(record, 1, PathOf("deleted.bin")));
  remove(PathOf("deleted.bin"));
  Run(db, "stream-file-deleted", "INSERT INTO `Files` (`Name`, `Data`) VALUES ('deleted', ?)",
      record);
  WriteText("replaced.bin", "replaced before the insert");
  Print("stream-file-replaced", " rc=%u", MsiRecordSetStreamA(record, 1, PathOf("replaced.bin")));
  remove(PathOf("replaced.bin"));
  WriteText("replaced.bin", "the new file");
  Run(db, "stream-file-replaced", "INSERT INTO `Files` (`Name`, `Data`) VALUES ('replaced', ?)",
      record);
  /* A table of its own, so that the rows the other steps show are the same either way. */
  Run(db, "stream-file-rewritten",
      "CREATE TABLE `Rewritten` (`Name` CHAR(20) NOT NULL, `Data` OBJECT PRIMARY KEY `Name`)", 0);
  WriteText("rewritten.bin", "rewritten in place before the insert");
  Print("stream-file-rewritten", " rc=%u", MsiRecordSetStreamA(record, 1, PathOf("rewritten.bin")));
  WriteText("rewritten.bin", "shorter");
  Run(db, "stream-file-rewritten",
      "INSERT INTO `Rewritten` (`Name`, `Data`) VALUES ('rewritten', ?)", record);
  MsiCloseHandle(record);
  ShowStreams(db, "stream-file-rows", "SELECT `Name`, `Data` FROM `Files`");
}

static void Archives(MSIHANDLE db) {
  MakeFolder("exp");
  Print("archive-export-binary", " rc=%u",
        MsiDatabaseExportA(db, "Files", PathOf("exp"), "Other.idt"));
  PrintFile("archive-export-binary", "exp/Other.idt");
  Print("archive-export-binary", " table-folder=%d,%d other-folder=%d",
        HasFile("exp/Files/deleted.ibd"), HasFile("exp/Files/deleted"),
        HasFile("exp/Other/deleted.ibd"));
  MakeFolder("arc");
  MakeFolder("arc/Pics");
  MakeFolder("arc/Bin2");
  WriteText("arc/Pics/one.ibd", "from the Pics folder");
  Import(db, "archive-import-base-folder", "Pics.idt",
         "Name\tData\r\ns72\tv0\r\nBin\tName\r\none\tone.ibd\r\n");
  ShowStreams(db, "archive-import-base-folder", "SELECT `Name`, `Data` FROM `Bin`");
  WriteText("arc/Bin2/one.ibd", "from the Bin2 folder");
  Import(db, "archive-import-table-folder", "Pics2.idt",
         "Name\tData\r\ns72\tv0\r\nBin2\tName\r\none\tone.ibd\r\n");
  ShowStreams(db, "archive-import-table-folder", "SELECT `Name`, `Data` FROM `Bin2`");
  Print("archive-import-missing", " rc=%u", MsiDatabaseImportA(db, PathOf("arc"), "None.idt"));
  Print("archive-import-missing-folder", " rc=%u",
        MsiDatabaseImportA(db, PathOf("none"), "None.idt"));
  Import(db, "archive-import-cr-cr-lf", "CrB.idt",
         "Name\tValue\r\ns72\tS255\r\nCrB\tName\r\r\na\tb\r\n");
  Show(db, "archive-import-cr-cr-lf", "SELECT `Name`, `Value` FROM `CrB`", 0);
  Import(db, "archive-import-bare-cr", "CrA.idt",
         "Name\tValue\rs72\tS255\r\nCrA\tName\r\na\tb\r\n");
  Import(db, "archive-import-lf", "Lf.idt", "Name\tValue\ns72\tS255\nLf\tName\na\tb\nc\td\n");
  Show(db, "archive-import-lf", "SELECT `Name`, `Value` FROM `Lf`", 0);
  WriteText("outside.bin", "outside the archive's folder");
  MakeFolder("arc/Up");
  Import(db, "archive-import-outside", "Up.idt",
         "Name\tData\r\ns72\tv0\r\nUp\tName\r\none\t..\\..\\outside.bin\r\n");
  MakeFolder("arc/Sub");
  MakeFolder("arc/Sub/in");
  WriteText("arc/Sub/in/x.ibd", "in a folder below");
  Import(db, "archive-import-subfolder", "Sub.idt",
         "Name\tData\r\ns72\tv0\r\nSub\tName\r\none\tin/x.ibd\r\n");
}

static void ForceCodepage(MSIHANDLE db, const char* label, const char* code_page) {
  char text[64];
  snprintf(text, sizeof text, "\r\n\r\n%s\t_ForceCodepage\r\n", code_page);
  Import(db, label, "_ForceCodepage.idt", text);
  MakeFolder("cp");
  MsiDatabaseExportA(db, "_ForceCodepage", PathOf("cp"), "cp.idt");
  PrintFile(label, "cp/cp.idt");
}

static void CodePages(MSIHANDLE db) {
  ForceCodepage(db, "codepage-force-undefined", "12345");
  ForceCodepage(db, "codepage-force-65001", "65001");
  ForceCodepage(db, "codepage-force-not-a-number", "abc");
  ForceCodepage(db, "codepage-force-0", "0");
  ForceCodepage(db, "codepage-force-1252", "1252");
  Import(db, "codepage-stamped-same", "Same.idt",
         "Name\tValue\r\ns72\tS255\r\n1252\tSame\tName\r\na\tcaf\xe9\r\n");
  Print("codepage-stamped-same", " export=%u",
        MsiDatabaseExportA(db, "Same", PathOf("cp"), "Same.idt"));
  PrintFile("codepage-stamped-same", "cp/Same.idt");
  ForceCodepage(db, "codepage-force-1251", "1251");
  MSIHANDLE neutral = 0;
  MsiOpenDatabaseA(PathOf("neutral.msi"), TRANSCRIPT_DBOPEN_CREATE, &neutral);
  Import(neutral, "codepage-stamped-into-neutral", "Stamped.idt",
         "Name\tValue\r\ns72\tS255\r\n1252\tStamped\tName\r\na\tcaf\xe9\r\n");
  MsiDatabaseExportA(neutral, "_ForceCodepage", PathOf("cp"), "cp.idt");
  PrintFile("codepage-stamped-into-neutral", "cp/cp.idt");
  Import(neutral, "codepage-stamped-other", "Other.idt",
         "Name\tValue\r\ns72\tS255\r\n1251\tOther\tName\r\na\t\xe9\r\n");
  MsiCloseHandle(neutral);
}

static void OutputFile(void) {
  MSIHANDLE db = 0;
  MsiOpenDatabaseA(PathOf("source.msi"), TRANSCRIPT_DBOPEN_CREATE, &db);
  Run(db, "output-source", "CREATE TABLE `Plain` (`K` CHAR(10) NOT NULL PRIMARY KEY `K`)", 0);
  Run(db, "output-source", "INSERT INTO `Plain` (`K`) VALUES ('a')", 0);
  Print("output-source", " commit=%u", MsiDatabaseCommit(db));
  MsiCloseHandle(db);
  db = 0;
  Print("output-open", " rc=%u", MsiOpenDatabaseA(PathOf("source.msi"), PathOf("output.msi"), &db));
  Print("output-open", " output-exists=%d", HasFile("output.msi"));
  MSIHANDLE summary = 0;
  MsiGetSummaryInformationA(db, NULL, 1, &summary);
  MsiSummaryInfoSetPropertyA(summary, 2, kVtLpstr, 0, NULL, "Changed");
  Print("output-summary-persist", " rc=%u", MsiSummaryInfoPersist(summary));
  MsiCloseHandle(summary);
  Run(db, "output-insert", "INSERT INTO `Plain` (`K`) VALUES ('b')", 0);
  Print("output-commit", " rc=%u", MsiDatabaseCommit(db));
  Print("output-commit", " exists=%d", HasFile("output.msi"));
  Run(db, "output-insert-after-commit", "INSERT INTO `Plain` (`K`) VALUES ('c')", 0);
  Print("output-commit-again", " rc=%u", MsiDatabaseCommit(db));
  MsiCloseHandle(db);
  MsiOpenDatabaseA(PathOf("source.msi"), TRANSCRIPT_DBOPEN_READONLY, &db);
  Show(db, "output-source-unchanged", "SELECT `K` FROM `Plain`", 0);
  MsiCloseHandle(db);
  db = 0;
  Print("output-reopened", " rc=%u",
        MsiOpenDatabaseA(PathOf("output.msi"), TRANSCRIPT_DBOPEN_READONLY, &db));
  Show(db, "output-reopened", "SELECT `K` FROM `Plain`", 0);
  MsiCloseHandle(db);
  summary = 0;
  MsiGetSummaryInformationA(0, PathOf("output.msi"), 0, &summary);
  char title[32] = "";
  DWORD size = sizeof title;
  UINT type = 0;
  MsiSummaryInfoGetPropertyA(summary, 2, &type, NULL, NULL, title, &size);
  Print("output-summary-reopened", " title='%s'", title);
  MsiCloseHandle(summary);
  db = 0;
  MsiOpenDatabaseA(PathOf("source.msi"), PathOf("uncommitted.msi"), &db);
  Run(db, "output-uncommitted", "INSERT INTO `Plain` (`K`) VALUES ('d')", 0);
  MsiCloseHandle(db);
  Print("output-uncommitted", " exists=%d", HasFile("uncommitted.msi"));
}

static void FilesArchivesAndCodePages(void) {
  MSIHANDLE db = 0;
  MsiOpenDatabaseA(PathOf("archives.msi"), TRANSCRIPT_DBOPEN_CREATE, &db);
  StreamsFromFiles(db);
  Archives(db);
  CodePages(db);
  MsiCloseHandle(db);
  OutputFile();
}

/* ----- sub-storages ----- */

/* A committed database is a compound file: inserted into `_Storages` it becomes a sub-storage,
   whose data reads as no stream; a file that is no compound file cannot be one. */
static void Storages(void) {
  MSIHANDLE db = 0;
  MsiOpenDatabaseA(PathOf("inner.msi"), TRANSCRIPT_DBOPEN_CREATE, &db);
  Run(db, "storage-source", "CREATE TABLE `T` (`K` CHAR(8) NOT NULL PRIMARY KEY `K`)", 0);
  db = CommitAndReopen(db, "storage-source-commit", "storages.msi", TRANSCRIPT_DBOPEN_CREATE);
  static const char kInsert[] = "INSERT INTO `_Storages` (`Name`, `Data`) VALUES (?, ?)";
  MSIHANDLE record = MsiCreateRecord(2);
  MsiRecordSetStringA(record, 1, "stgname");
  MsiRecordSetStreamA(record, 2, PathOf("inner.msi"));
  Run(db, "storage-insert", kInsert, record);
  MsiRecordSetStringA(record, 1, "plain");
  MsiRecordSetStreamA(record, 2, PathOf("payload.bin"));
  Run(db, "storage-insert-no-compound-file", kInsert, record);
  MsiCloseHandle(record);
  MSIHANDLE view = 0;
  MsiDatabaseOpenViewA(db, "SELECT `Name`, `Data` FROM `_Storages`", &view);
  MsiViewExecute(view, 0);
  Print("storage-fetch", " rc=%u", MsiViewFetch(view, &record));
  char buffer[8] = "apple";
  DWORD size = sizeof buffer;
  const UINT rc = MsiRecordReadStream(record, 2, buffer, &size);
  Print("storage-read", " rc=%u size=%lu buffer='%s'", rc, (unsigned long)size, buffer);
  MsiCloseHandle(record);
  record = 0;
  Print("storage-fetch-end", " rc=%u", MsiViewFetch(view, &record));
  MsiCloseHandle(view);
  db = CommitAndReopen(db, "storage-commit", "storages.msi", TRANSCRIPT_DBOPEN_TRANSACT);
  Show(db, "storage-reopened", "SELECT `Name` FROM `_Storages`", 0);
  Run(db, "storage-delete", "DELETE FROM `_Storages` WHERE `Name` = 'stgname'", 0);
  db = CommitAndReopen(db, "storage-delete-commit", "storages.msi", TRANSCRIPT_DBOPEN_READONLY);
  Show(db, "storage-deleted", "SELECT `Name` FROM `_Storages`", 0);
  MsiCloseHandle(db);
}

int RunMsiTranscript(const char* where, FILE* destination) {
  out = destination;
  snprintf(folder, sizeof folder, "%s", where);
  if (!WritePayload()) return 1;
  MSIHANDLE db = 0;
  Print("create", " rc=%u", MsiOpenDatabaseA(PathOf("db.msi"), TRANSCRIPT_DBOPEN_CREATE, &db));
  CreateTables(db);
  InsertRows(db);
  SelectRows(db);
  Print("commit-after-inserts", " rc=%u", MsiDatabaseCommit(db));
  UpdateAndDelete(db);
  Print("commit-after-updates", " rc=%u", MsiDatabaseCommit(db));
  ModifyRows(db);
  Print("commit-after-modify", " rc=%u", MsiDatabaseCommit(db));
  FetchEdges(db);
  GetStringSizes();
  BadSql(db);
  SummaryInformation(db);
  Print("commit", " rc=%u", MsiDatabaseCommit(db));
  Print("close", " rc=%u", MsiCloseHandle(db));
  Reopened();
  MsiOpenDatabaseA(PathOf("db.msi"), TRANSCRIPT_DBOPEN_TRANSACT, &db);
  Streams(db);
  Print("commit-after-streams", " rc=%u", MsiDatabaseCommit(db));
  MsiCloseHandle(db);
  SchemaChanges();
  Sql();
  FilesArchivesAndCodePages();
  Storages();
  return 0;
}

#ifdef _WIN32
int main(int argc, char** argv) {
  if (argc != 2) return 2;
  return RunMsiTranscript(argv[1], stdout);
}
#endif

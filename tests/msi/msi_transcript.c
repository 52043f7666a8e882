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
  FilesArchivesAndCodePages();
  return 0;
}

#ifdef _WIN32
int main(int argc, char** argv) {
  if (argc != 2) return 2;
  return RunMsiTranscript(argv[1], stdout);
}
#endif

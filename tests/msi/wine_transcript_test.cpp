// The same sequence of database operations (msi_transcript.c) runs through our C interface and,
// as a Windows program under Wine, through Wine's msi.dll; the transcripts must agree, except
// where Windows itself is known to answer otherwise than Wine.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "msi_transcript_api.h"
#include "ole_oracle.h"
#include "test_support/needs.h"
#include "test_support/temp_dir.h"

namespace kb::msi {
namespace {

using Transcript = std::map<std::string, std::vector<std::string>>;  // lines by step label

struct KnownDifference {
  std::string_view label;
  std::vector<std::string> ours;  // what we answer, checked
  std::string_view why;
};

// Where Wine answers otherwise than the Windows Installer documentation says (or than the
// package build needs), we follow Windows.
const std::vector<KnownDifference>& KnownDifferences() {
  static const std::vector<KnownDifference> differences = {
      {"insert-no-record",
       {" open=0 execute=1627"},
       "a `?` without a parameter record cannot be filled; Wine reports success and inserts "
       "nothing"},
      {"where-less",
       {" [1] 'beta'", " end=259"},
       "a null is no number: it compares neither less nor greater (Wine orders it below every "
       "integer)"},
      {"where-less-equal",
       {" [1] 'alpha'", " [1] 'beta'", " [1] 'delta'", " end=259"},
       "as where-less"},
      {"where-or", {" [1] 'alpha'", " [1] 'zeta'", " [1] 'beta'", " end=259"}, "as where-less"},
      {"modify-merge-different",
       {" rc=1627"},
       "MSIMODIFY_MERGE fails when a row with the key exists with other values (documented); Wine "
       "reports success and changes nothing"},
      {"modify-replace",
       {" rc=0"},
       "MSIMODIFY_REPLACE of a fetched row with the same key updates it (documented); Wine "
       "refuses"},
      {"modify-seek",
       {" rc=0", " [3] 'lambda' '10'#10 ~"},
       "MSIMODIFY_SEEK fills the record from the row with its key (documented); Wine refuses"},
      {"modify-bad-mode", {" rc=87"}, "an undefined mode is an invalid parameter"},
      {"fetch-on-update-view",
       {" rc=1627"},
       "a view that selects nothing has no rows to fetch; Wine reports success without a row"},
      {"fetch-before-execute", {" rc=1627"}, "as fetch-on-update-view: nothing was executed"},
      {"fetch-after-close", {" rc=1627"}, "as fetch-before-execute"},
      {"get-string-past-end",
       {" field=4 capacity=0 rc=234 size=0 text='..............'",
        " field=4 capacity=1 rc=0 size=0 text=''", " field=4 capacity=5 rc=0 size=0 text=''",
        " field=4 capacity=6 rc=0 size=0 text=''"},
       "a field past the end reads as null; an empty buffer has no room for its terminator, as for "
       "null fields inside the record, where Wine agrees"},
      {"summary-unknown-id",
       {" rc=1608"},
       "ERROR_UNKNOWN_PROPERTY is the documented answer for an undefined property id"},
      {"reopened-kinds",
       {" [5] 'alpha' '42'#42 '100000'#100000 'changed' ~",
        " [5] 'beta' '-3'#-3 '-70000'#-70000 'x y' ~", " [5] 'gamma' '5'#5 '6'#6 ~ ~",
        " [5] 'kappa' '10'#10 ~ ~ ~", " [5] 'lambda' '10'#10 ~ ~ ~", " [5] 'mu' '3'#3 ~ ~ ~",
        " end=259"},
       "Wine's commit after an MSIMODIFY_INSERT_TEMPORARY row loses every row but the first "
       "(msiinfo export of its file agrees); ours keeps them"},
      {"reopened-stored-order",
       {" [1] 'alpha'", " [1] 'beta'", " [1] 'gamma'", " [1] 'kappa'", " [1] 'lambda'", " [1] 'mu'",
        " end=259"},
       "as reopened-kinds"},
      {"insert-read-only",
       {" open=0 execute=1627"},
       "a read-only database refuses changes at once rather than dropping them silently"},
      {"open-missing",
       {" rc=110"},
       "ERROR_OPEN_FAILED is the documented answer when the database cannot be opened"},
      {"open-not-a-database", {" rc=110"}, "as open-missing"},
      {"set-stream-missing-file",
       {" rc=161"},
       "ERROR_BAD_PATHNAME is the documented answer for a file that cannot be read"},
      {"insert-stream-name-only",
       {" open=0 execute=0"},
       "Windows accepts a `_Streams` row without data (an empty stream to fill by update), and the "
       "package build relies on it; Wine refuses"},
      {"stream-names",
       {" [1] 'SummaryInformation'", " [1] 'Kinds.blob'", " [1] 'Later'", " [1] 'Loose'",
        " end=259"},
       "follows from insert-stream-name-only"},
      {"read-object",
       {" fetch=0", " rc=0 size=5000 reads=0,0 got=1000,4000 sum=1658483130", " [1] !1804"},
       "text of a stream field: ERROR_INVALID_DATATYPE, the documented answer for a field of the "
       "wrong kind"},
      {"read-stream-row",
       {" fetch=0", " rc=0 size=5000 reads=0,0 got=1000,4000 sum=1658483130", " [1] !1804"},
       "as read-object"},
      {"commit-after-streams",
       {" rc=0"},
       "Wine cannot commit a database after these stream edits; Windows can, and the package build "
       "commits right after storing its cabinet"},
      // ----- schema changes and temporary tables -----
      {"schema-validate-null-key",
       {" rc=13"},
       "a record that fails MSIMODIFY_VALIDATE answers ERROR_INVALID_DATA, the answer after which "
       "MsiViewGetError is documented to tell why; Wine fails the call"},
      {"schema-error-duplicate",
       {" error=1 size=1 column='K'"},
       "after a failed validating modify, MsiViewGetError names each faulty column with its "
       "MSIDBERROR (documented); Wine reports no error"},
      {"schema-error-null-key",
       {" error=-2 size=1 column=''"},
       "as schema-error-duplicate; a name that does not fit gives MSIDBERROR_MOREDATA and its "
       "length (documented)"},
      {"schema-error-null-key-again", {" error=2 size=1 column='K'"}, "as schema-error-duplicate"},
      {"schema-validate-long", {" rc=13"}, "as schema-validate-null-key"},
      {"schema-error-long",
       {" error=28 size=1 column='K'"},
       "as schema-error-duplicate: MSIDBERROR_STRINGOVERFLOW for text longer than the column"},
      {"schema-validate-field",
       {" rc=0"},
       "MSIMODIFY_VALIDATE_FIELD checks only the fields given, so a record without its key passes "
       "(documented); Wine fails every validating mode but MSIMODIFY_VALIDATE_NEW"},
      {"schema-validate-delete",
       {" rc=0"},
       "MSIMODIFY_VALIDATE_DELETE: the engine keeps no links between tables (it does not consult "
       "_Validation), so nothing refuses a delete; Wine fails the call"},
      {"schema-tables-after-free",
       {" [1] 'Late'", " [1] 'Rev'", " [1] 'Scattered'", " [1] 'MixedHold'", " end=259"},
       "a table of temporary columns becomes inaccessible when its last hold is freed "
       "(documented), so `_Tables` no longer lists it, as for one created without HOLD; Wine "
       "still lists it though no statement can reach it"},
      {"schema-reopened-columns",
       {" [4] 'Late' '1'#1 'K' '11530'#11530",      " [4] 'Late' '2'#2 'N' '5378'#5378",
        " [4] 'Late' '3'#3 'V' '7434'#7434",        " [4] 'Late' '4'#4 'Extra' '5378'#5378",
        " [4] 'Late' '5'#5 'Must' '3333'#3333",     " [4] 'Late' '6'#6 'Loc' '7941'#7941",
        " [4] 'Late' '7'#7 'Blob' '6400'#6400",     " [4] 'Rev' '1'#1 'C' '11530'#11530",
        " [4] 'Rev' '2'#2 'B' '9474'#9474",         " [4] 'Rev' '3'#3 'A' '7434'#7434",
        " [4] 'Scattered' '1'#1 'E' '9474'#9474",   " [4] 'Scattered' '2'#2 'A' '9474'#9474",
        " [4] 'Scattered' '3'#3 'C' '9474'#9474",   " [4] 'Scattered' '4'#4 'D' '5378'#5378",
        " [4] 'Scattered' '5'#5 'B' '5378'#5378",   " [4] 'Scattered' '6'#6 'F' '5378'#5378",
        " [4] 'MixedHold' '1'#1 'A' '11530'#11530", " [4] 'Rows' '1'#1 'K' '11530'#11530",
        " [4] 'Rows' '2'#2 'N' '5378'#5378",        " end=259"},
       "a temporary column is not saved (its values never are); Wine writes its `_Columns` row, "
       "which a reader then takes for a column without values"},
      {"schema-reopened-tables",
       {" [1] 'Late'", " [1] 'Rev'", " [1] 'Scattered'", " [1] 'MixedHold'", " [1] 'Rows'",
        " end=259"},
       "as reopened-kinds: Wine's commit keeps only the first row of a table after a temporary "
       "one (here `_Tables` after the held table)"},
      {"schema-reopened-rows",
       {" [2] 'c' '3'#3", " [2] 'b' '2'#2", " [2] 'e' '4'#4", " end=259"},
       "as reopened-kinds: every persistent row is saved, the TEMPORARY and "
       "MSIMODIFY_INSERT_TEMPORARY rows are not"},
      // SQL: joins, constants, the parser, fetch and modify (the "sql-" steps).
      {"sql-constant-number",
       {" [2] '1'#1 'd1'", " [2] '1'#1 'd2'", " [2] '1'#1 'd1'", " end=259"},
       "Windows takes a number in the select list for a constant column, as it takes ''; Wine "
       "refuses the number"},
      {"sql-qualified-in-quotes",
       {" open=0 execute=0"},
       "Windows reads `Table.Column` in one pair of back-quotes as the qualified column; Wine "
       "refuses it"},
      {"sql-view-key-only-seek", {" rc=0"}, "as modify-seek"},
      {"sql-star-and-column",
       {" open=0 execute=0"},
       "Windows takes more columns after * (Wine's own tests mark its refusal as its "
       "difference); Wine refuses them"},
      {"sql-empty-name",
       {" failed=1615"},
       "an empty back-quoted name in the select list names no column; Windows refuses the "
       "statement (Wine's own tests mark its acceptance as its difference), Wine reads it as ''"},
      {"sql-view-key-only-merge-same",
       {" rc=1627"},
       "MSIMODIFY_MERGE takes the columns outside the view for null, so the row with the key "
       "differs from the record in the column the view leaves out; Windows fails such a merge "
       "(Wine's own tests mark its success as its difference), Wine reports success"},
      {"sql-object-equals",
       {" open=1615 execute=1615"},
       "comparisons of an object column are limited to IS NULL and IS NOT NULL (documented); "
       "Wine takes ="},
      {"sql-constant-text",
       {" open=0 execute=0"},
       "a text in the select list is a constant column as '' and numbers are; Wine takes only ''"},
      {"sql-insert-null-into-not-null-number",
       {" open=0 execute=0"},
       "NULL in a column that is no key is left to validation (the _Validation table's Nullable "
       "column), as this engine has always done; only empty text, which is no integer, is refused "
       "at once. Wine refuses both; the documentation says nothing of NULL here"},
      // Streams from files, archives, output files and code pages.
      {"stream-file-rewritten",
       {" open=0 execute=0", " rc=0", " open=0 execute=1627"},
       "the field keeps the file open rather than a copy of it in memory; a file written to since "
       "no longer holds the bytes the field was set to, so the statement fails instead of storing "
       "others (Wine read the whole file into memory when the field was set)"},
      {"archive-export-binary",
       {" rc=0",
        " 'Name\\x09Data\\x0d\\x0as20\\x09V0\\x0d\\x0aFiles\\x09Name\\x0d\\x0adeleted\\x09"
        "deleted.ibd\\x0d\\x0areplaced\\x09replaced.ibd\\x0d\\x0a'",
        " table-folder=1,0 other-folder=0"},
       "Windows names a binary field's file after its row key with the extension .ibd; Wine leaves "
       "the extension off (both write it in the folder named after the table)"},
      {"archive-import-table-folder",
       {" rc=0", " 'one' size=20 'from the Bin2 folder'", " end=259"},
       "binary data is documented to come from the folder named after the table, which is where "
       "export writes it; Wine looks only in the folder named after the archive's file (we look "
       "there too, second)"},
      {"archive-import-outside",
       {" rc=1627"},
       "a binary field names a file of the table's folder; a path leading out of it is refused so "
       "that an archive cannot read any file of the system into a database; Wine follows it"},
      {"archive-import-subfolder", {" rc=1627"}, "as archive-import-outside"},
      {"codepage-force-not-a-number",
       {" rc=1627", " '\\x0d\\x0a\\x0d\\x0a65001\\x09_ForceCodepage\\x0d\\x0a'"},
       "a code page that is no number is refused; Wine reads it as 0 and makes the database "
       "neutral"},
      {"codepage-stamped-same",
       {" rc=0", " export=0",
        " 'Name\\x09Value\\x0d\\x0as72\\x09S255\\x0d\\x0a1252\\x09Same\\x09Name\\x0d\\x0aa\\x09"
        "caf\\xe9\\x0d\\x0a'"},
       "documented: an archive stamped with the database's code page imports, and an export "
       "holding text beyond ASCII is stamped with it; Wine refuses every stamped archive"},
      {"codepage-force-1251",
       {" rc=1627", " '\\x0d\\x0a\\x0d\\x0a1252\\x09_ForceCodepage\\x0d\\x0a'"},
       "only code pages 0, 1252 and 65001 are converted; a database in another could be neither "
       "read nor written, so setting one fails as an undefined code page does"},
      {"codepage-stamped-into-neutral",
       {" rc=0", " '\\x0d\\x0a\\x0d\\x0a1252\\x09_ForceCodepage\\x0d\\x0a'"},
       "documented: an archive stamped with a code page imports into a neutral database, which "
       "takes that code page on; Wine refuses it"},
      {"output-summary-persist",
       {" rc=1627"},
       "documented: the summary information of a database opened with an output file mirrors the "
       "original's and cannot be changed; Wine persists it into the output"},
      {"output-summary-reopened", {" title=''"}, "as output-summary-persist"},
      {"storage-insert-no-compound-file",
       {" open=0 execute=1627"},
       "a stream that is no compound file cannot become a storage: ERROR_FUNCTION_FAILED, the "
       "documented failure of MsiViewExecute; Wine hands out the structured storage error "
       "0x800300FB itself, which is no installer return code"},
      {"storage-deleted",
       {" end=259"},
       "documented: deleting a `_Storages` row deletes the storage; Wine keeps it in the file"},
      {"output-open",
       {" rc=0", " output-exists=0"},
       "the output file appears whole at the first commit (written beside it and renamed), never "
       "half-written; Wine makes it at the open and removes it again when nothing was committed"},
  };
  return differences;
}

Transcript Parse(const std::string& text) {
  Transcript transcript;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t colon = line.find(':');
    transcript[line.substr(0, colon)].push_back(
        colon == std::string::npos ? "" : line.substr(colon + 1));
    begin = end + 1;
  }
  return transcript;
}

std::string Ours(const std::string& folder) {
  char* text = nullptr;
  std::size_t size = 0;
  FILE* out = ::open_memstream(&text, &size);
  const int status = RunMsiTranscript((folder + "/").c_str(), out);
  std::fclose(out);
  std::string result(text, size);
  std::free(text);
  return status == 0 ? result : std::string();
}

TEST(WineTranscriptTest, OurEngineAnswersAsWindowsInstallerDoes) {
  if (const auto missing = kb::test::MissingTools({"wine", "x86_64-w64-mingw32-gcc", "msiinfo"}))
    GTEST_SKIP() << *missing;
  kb::test::TempDir ours_dir;
  kb::test::TempDir wine_dir;
  const Transcript ours = Parse(Ours(ours_dir.path().string()));
  std::string error;
  const Transcript wine = Parse(test::RunWindowsProgram(
      "msi_transcript.c", "-lmsi", "'" + test::WindowsPath(wine_dir.path().string()) + "\\'",
      wine_dir.path().string(), &error));
  ASSERT_EQ(error, "");
  ASSERT_GT(wine.size(), 50u);

  std::map<std::string, const KnownDifference*> known;
  for (const KnownDifference& difference : KnownDifferences())
    known[std::string(difference.label)] = &difference;
  for (const auto& [label, wine_lines] : wine) {
    const auto it = ours.find(label);
    if (it == ours.end()) {
      ADD_FAILURE() << "we print no step " << label;
      continue;
    }
    if (const auto k = known.find(label); k != known.end()) {
      EXPECT_EQ(it->second, k->second->ours) << label << ": " << k->second->why;
      EXPECT_NE(it->second, wine_lines) << label << " is no longer a difference";
    } else {
      EXPECT_EQ(it->second, wine_lines) << label;
    }
  }
  EXPECT_EQ(ours.size(), wine.size());
}

}  // namespace
}  // namespace kb::msi

#ifndef KITBINDER_PACKAGE_INSTALLER_DATABASE_H_
#define KITBINDER_PACKAGE_INSTALLER_DATABASE_H_

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"

namespace kb {

// A value for a statement's `?` marker: text or an integer.
using StatementValue = std::variant<std::string_view, int>;

// The package build's handle set for one open installer package: the database, the current
// view and the current record. Each statement replaces the view (and releases the record);
// each fetch replaces the record. Every handle is released exactly once: record and view
// before the database.
class CInstallerDatabase {
 public:
  // Opens the package at `path` transacted: no edit reaches the file before Commit. Check
  // is_open(); after a failed open every Execute answers false.
  explicit CInstallerDatabase(const std::string& path);
  ~CInstallerDatabase();
  CInstallerDatabase(const CInstallerDatabase&) = delete;
  CInstallerDatabase& operator=(const CInstallerDatabase&) = delete;

  bool is_open() const { return database_.get() != 0; }

  // Closes the current view and record, then prepares and runs `statement`, with the `?`
  // markers taking the fields of `parameters` (a record handle the caller keeps; 0 for none).
  // True when the statement ran.
  [[nodiscard]] bool Execute(std::string_view statement, MSIHANDLE parameters = 0);
  // The same with the markers taking `values` in order, so that a value is stored exactly as
  // it is, quotes included.
  [[nodiscard]] bool Execute(std::string_view statement,
                             std::initializer_list<StatementValue> values);
  // Fetches the next row of the current view as the current record. At the end of the rows
  // the view is closed too. True when a row came.
  [[nodiscard]] bool Fetch();
  // The text of a field of the current record (at most 10,239 bytes); empty when there is no
  // record, the field has no text or the text does not fit.
  std::string GetString(unsigned field) const;
  // Makes the file at `path` the stream of a field of the current record and writes the row
  // back. True when both succeeded.
  [[nodiscard]] bool SetStreamAndUpdate(unsigned field, const std::string& path);
  // The same with the stream the file at `path` followed by the first `rest_size` bytes of the
  // open file `rest`, which stays the caller's.
  [[nodiscard]] bool SetJoinedStreamAndUpdate(unsigned field, const std::string& path, int rest,
                                              std::uint64_t rest_size);
  // Makes the edits so far reach the file. True when they did; a failure is also remembered
  // in commit_failed(), so the steps of a build may commit as they go and the build asks once,
  // before the package replaces the last one.
  bool Commit();
  // True once any Commit has failed: the package on disk then lacks edits made before it.
  bool commit_failed() const { return commit_failed_; }
  // The database's code page, as its "_ForceCodepage" archive states it; nullopt when it cannot
  // be exported.
  std::optional<int> CodePage();
  void CloseView();
  // Releases the record, the view and then the database; true when the database handle closed.
  [[nodiscard]] bool CloseDatabase();

  MSIHANDLE database_handle() const { return database_.get(); }
  MSIHANDLE view() const { return view_.get(); }
  MSIHANDLE record() const { return record_.get(); }

 private:
  msi::ScopedHandle database_;
  msi::ScopedHandle view_;
  msi::ScopedHandle record_;
  bool commit_failed_ = false;
};

}  // namespace kb

#endif  // KITBINDER_PACKAGE_INSTALLER_DATABASE_H_

#ifndef KITBINDER_PACKAGE_PACKAGE_WRITER_H_
#define KITBINDER_PACKAGE_PACKAGE_WRITER_H_

#include <memory>
#include <string>

#include "package/installer_database.h"

namespace kb {

// Turns a project into an installer package by editing a copy of a template database. This
// part holds what every edit shares: the open package and the text of the last failure.
// Every edit does nothing and answers false (or empty text) while no package is open.
class CPackageWriter {
 public:
  CPackageWriter() = default;
  // Closes the package without another commit: edits not committed are lost.
  virtual ~CPackageWriter();
  CPackageWriter(const CPackageWriter&) = delete;
  CPackageWriter& operator=(const CPackageWriter&) = delete;

  // Sets the `Property` row `name` to `value` and commits. The value is passed as a parameter,
  // never pasted into the statement, so any text (a quote included) is stored exactly. A
  // property the package lacks changes nothing and still counts as success.
  bool SetProperty(const std::string& name, const std::string& value);

  std::unique_ptr<CInstallerDatabase> database;  // the open package, none before Build opens it
  std::string errorText;                         // the last failure, for the Build command
};

}  // namespace kb

#endif  // KITBINDER_PACKAGE_PACKAGE_WRITER_H_

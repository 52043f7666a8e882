#ifndef KITBINDER_TESTS_MSI_SQL_HELPERS_H_
#define KITBINDER_TESTS_MSI_SQL_HELPERS_H_

#include <string>
#include <vector>

#include "msi/api/msi_interface.h"
#include "msi/api/scoped_handle.h"

namespace kb::msi::test {

// Prepares and executes one statement; the first failing call's result.
UINT RunSql(MSIHANDLE database, const std::string& sql, MSIHANDLE parameters = 0);

// Every row of a SELECT, each field as text (integers in decimal, null as "").
std::vector<std::vector<std::string>> Rows(MSIHANDLE database, const std::string& sql);

// A record holding `fields` as text from field 1 on.
ScopedHandle TextRecord(const std::vector<std::string>& fields);

// The whole text of a record field.
std::string FieldText(MSIHANDLE record, UINT field);

}  // namespace kb::msi::test

#endif  // KITBINDER_TESTS_MSI_SQL_HELPERS_H_

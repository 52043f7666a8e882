#include "package/license_text.h"
#include "package/package_writer.h"

namespace kb {

bool CPackageWriter::SetLicenseText(const std::string& path) {
  if (path.empty() || !database) return false;
  const std::string text = ReadLicenseText(path);
  if (!database->Execute(
          "select `Control`,`Text` from `Control` where `Control`='EulaForm_LicenseText'")) {
    return false;
  }
  bool replaced = false;
  if (database->Fetch() &&
      MsiRecordSetStringA(database->record(), 2, text.c_str()) == ERROR_SUCCESS &&
      MsiViewModify(database->view(), MSIMODIFY_UPDATE, database->record()) == ERROR_SUCCESS) {
    database->Commit();
    replaced = true;
  }
  database->CloseView();
  if (replaced) {
    // Not checked here: Build reads both back from the finished package and fails without them.
    [[maybe_unused]] const bool next = SetProperty("WelcomeForm_NextArgs", "EulaForm");
    [[maybe_unused]] const bool previous = SetProperty("FolderForm_PrevArgs", "EulaForm");
  }
  return replaced;
}

bool CPackageWriter::SetBanner(const std::string& path) {
  if (path.empty() || !database ||
      !database->Execute("select `Name`,`Data` from `Binary` where `Name`='BannerBitmap'")) {
    return false;
  }
  bool replaced = false;
  if (database->Fetch() && database->SetStreamAndUpdate(2, path)) {
    database->Commit();
    replaced = true;
  }
  database->CloseView();
  return replaced;
}

void CPackageWriter::SkipWelcomeDialog() {
  if (!database || !database->Execute("select `Action`,`Condition`, `Sequence` from "
                                      "`InstallUISequence` where `Action`='WelcomeForm'")) {
    return;
  }
  if (database->Fetch()) {
    std::string negative = database->GetString(3);
    negative.insert(negative.begin(), '-');
    if (MsiRecordSetStringA(database->record(), 3, negative.c_str()) == ERROR_SUCCESS &&
        MsiViewModify(database->view(), MSIMODIFY_UPDATE, database->record()) == ERROR_SUCCESS) {
      database->Commit();
    }
  }
  database->CloseView();
}

}  // namespace kb

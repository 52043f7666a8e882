#include "package/identifiers.h"
#include "package/package_writer.h"
#include "package/shortcut_names.h"
#include "platform/file_name_from_path.h"
#include "project/path_in_project.h"

namespace kb {

bool CPackageWriter::AddIcon(const std::string& path, const std::string& name) {
  if (!database || !database->Execute("select `Name`,`Data` from `Icon`")) return false;
  msi::ScopedHandle record(MsiCreateRecord(2));
  MsiRecordSetStringA(record.get(), 1, IconKey(name).c_str());
  MsiRecordSetStreamA(record.get(), 2, path.c_str());
  const bool added =
      MsiViewModify(database->view(), MSIMODIFY_INSERT, record.get()) == ERROR_SUCCESS;
  if (added) database->Commit();
  database->CloseView();
  return added;
}

std::string CPackageWriter::AddMenuFolder(const std::string& title) {
  if (!database) return {};
  std::string key = NewKeyText();
  if (!database->Execute("insert into `Directory` (`Directory`,`Directory_Parent`,`DefaultDir`) "
                         "values (?,'ProgramMenuFolder',?)",
                         {key, MenuFolderDefaultDir(title)})) {
    return {};
  }
  database->Commit();
  database->CloseView();
  return key;
}

namespace {

// Adds and commits the advertised shortcut of `entry` to the file named `short_long` ("SHORT~1|
// long name") of `component`, starting in the folder `work_dir` when `entry.setkdir` is set.
// Returns the shortcut's key; empty text on failure.
std::string InsertShortcut(CInstallerDatabase& database, const ProjectFileEntry& entry,
                           std::string_view short_long, std::string_view component,
                           std::string_view work_dir, const std::string& menu_folder_key) {
  std::string key = NewKeyText();
  const std::string label = ShortcutLabel(short_long, entry.shortcutname);
  const std::string icon_key = entry.shortcuticon.empty()
                                   ? std::string()
                                   : IconKey(platform::FileNameFromPath(entry.shortcuticon));
  const bool added =
      entry.setkdir
          ? database.Execute(
                "insert into `Shortcut` (`Shortcut`,`Directory_`,`Name`,`Component_`,`Target`,"
                "`Icon_`,`IconIndex`,`ShowCmd`,`WkDir`) values (?,?,?,?,'_MainFeature',?,0,1,?)",
                {key, menu_folder_key, label, component, icon_key, work_dir})
          : database.Execute(
                "insert into `Shortcut` (`Shortcut`,`Directory_`,`Name`,`Component_`,`Target`,"
                "`Icon_`,`IconIndex`,`ShowCmd`) values (?,?,?,?,'_MainFeature',?,0,1)",
                {key, menu_folder_key, label, component, icon_key});
  if (!added) return {};
  database.Commit();
  database.CloseView();
  return key;
}

}  // namespace

std::string CPackageWriter::AddShortcut(const ProjectFileEntry& entry,
                                        const std::string& menu_folder_key) {
  if (!database) return {};
  return InsertShortcut(*database, entry,
                        ShortLongFileName(PathInProject(projectFolder, entry.path)),
                        entry.componentid, "TARGETDIR", menu_folder_key);
}

std::string CPackageWriter::AddShortcut(const ProjectFileEntry& entry, const TreeFile& target,
                                        const std::string& menu_folder_key) {
  if (!database) return {};
  return InsertShortcut(*database, entry, target.file_name, target.key, target.directory,
                        menu_folder_key);
}

}  // namespace kb

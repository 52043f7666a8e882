#ifndef KITBINDER_PACKAGE_PACKAGE_WRITER_H_
#define KITBINDER_PACKAGE_PACKAGE_WRITER_H_

#include <memory>
#include <string>
#include <vector>

#include "cabinet/builder/cabinet_builder.h"
#include "package/folder_tree.h"
#include "package/installer_database.h"
#include "package/package_options.h"
#include "project/project_file_entry.h"
#include "project/project_settings.h"

namespace kb {

// Turns a project into an installer package by editing a copy of a template database: the
// summary information, the product properties, the embedded cabinet of the project's files,
// icons, a Start Menu folder, and per file a component, a file row, a feature link and an
// optional advertised shortcut; the licence, banner and no-questions changes of the dialogs.
//
// Every edit passes the project's texts as statement parameters, so any text is stored exactly.
// Every edit does nothing and answers false (or empty text) while no package is open.
// A writer serves one build.
class CPackageWriter {
 public:
  CPackageWriter() = default;
  // Closes the package without another commit: edits not committed are lost.
  virtual ~CPackageWriter();
  CPackageWriter(const CPackageWriter&) = delete;
  CPackageWriter& operator=(const CPackageWriter&) = delete;

  // Writes the package `settings.title` + ".msi" in `project_folder` (or at
  // `packageOptions.output_path`) from the template at
  // `template_path`; the project's relative paths are found in `project_folder` too, whatever
  // the process's current folder. A project that fails CheckProject (project_checks.h) is refused
  // before anything is written, `errorText` holding one line per problem. The package is made under
  // a temporary name beside it and replaces an older package only once every row it needs is in it,
  // read back from the file, the validator finds no error in it (its warnings are left in
  // `warnings`) and, when `packageOptions.signing` asks, it is signed and the signature checked;
  // the cabinets of the files are staged under private names, then stored in the package and
  // removed, or (when the project asks for external cabinets or the package would pass
  // kMaxEmbeddingPackageSize) moved beside the package as `externalCabinets`.
  // Fills the empty codes and the empty keys and component GUIDs of `settings` with new ones and
  // puts typed ones in canonical form. True when the package is whole; false with `errorText`
  // saying why (what failed on its first line, the cause and what to do on the next), the folder
  // then holding what it held before; so too once `packageOptions.stop` is requested, at the next
  // block or file packed or the next step after. The package is closed when Build returns.
  [[nodiscard]] bool Build(CProjectSettings& settings, const std::string& template_path,
                           const std::string& project_folder);

  // Sets the `Property` row `name` to `value` and commits. A property the package lacks
  // changes nothing and still counts as success.
  [[nodiscard]] bool SetProperty(const std::string& name, const std::string& value);

  // Stores the icon file at `path` in the Icon table under the key made from `name` (its file
  // name, ".ico" made ".exe") and commits. False when the row could not be added (a second
  // icon of the same file name, for one).
  [[nodiscard]] bool AddIcon(const std::string& path, const std::string& name);

  // Adds the product's folder under the Start Menu's programs folder and commits. Returns its
  // Directory key; empty text when the row could not be added.
  [[nodiscard]] std::string AddMenuFolder(const std::string& title);

  // Adds the advertised shortcut of `entry` (which has a shortcut label) in the folder
  // `menu_folder_key` and commits. Returns the shortcut's key; empty text on failure.
  [[nodiscard]] std::string AddShortcut(const ProjectFileEntry& entry,
                                        const std::string& menu_folder_key);

  // The same for a folder row: the shortcut starts `target`, a file of the row's tree, through
  // its component, and with `entry.setkdir` in the target's folder.
  [[nodiscard]] std::string AddShortcut(const ProjectFileEntry& entry, const TreeFile& target,
                                        const std::string& menu_folder_key);

  // Shows the licence file at `path` in the licence dialog and routes the dialogs through it.
  // False, changing nothing, for an empty path.
  [[nodiscard]] bool SetLicenseText(const std::string& path);

  // Replaces the dialogs' banner with the image file at `path` as it is. False, changing
  // nothing, for an empty path or a missing file.
  [[nodiscard]] bool SetBanner(const std::string& path);

  // Takes the welcome dialog out of the user-interface sequence, so that the installation
  // starts without questions.
  void SkipWelcomeDialog();

  std::unique_ptr<CInstallerDatabase> database;  // the package while Build edits it
  std::string errorText;                         // the last failure, for the Build command
  std::vector<std::string> warnings;             // what the validator warned of, a line each
  // The cabinets Build put beside the package, which must ship with it; empty when the package
  // embeds its cabinets.
  std::vector<std::string> externalCabinets;
  cabinet::CabinetRunOptions cabinetOptions;  // how Build packs the files, who hears it
  std::string projectFolder;                  // where Build finds the project's relative paths
  PackageOptions packageOptions;              // where Build writes the package, and signing
};

}  // namespace kb

#endif  // KITBINDER_PACKAGE_PACKAGE_WRITER_H_

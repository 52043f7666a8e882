#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <optional>
#include <span>
#include <system_error>
#include <utility>
#include <vector>

#include "cabinet/builder/cabinet_compression.h"
#include "msi/db/code_page_text.h"
#include "package/cabinet_media.h"
#include "package/component_rows.h"
#include "package/file_packing.h"
#include "package/file_type_rows.h"
#include "package/folder_tree.h"
#include "package/identifiers.h"
#include "package/install_target_rows.h"
#include "package/launch_rows.h"
#include "package/license_text.h"
#include "package/major_upgrade.h"
#include "package/package_readback.h"
#include "package/package_signing.h"
#include "package/package_validation.h"
#include "package/package_writer.h"
#include "package/path_rows.h"
#include "package/product_icon.h"
#include "package/project_checks.h"
#include "package/reproducible_build.h"
#include "package/reproducible_identifiers.h"
#include "package/shortcut_names.h"
#include "package/staged_cabinet.h"
#include "package/tree_rows.h"
#include "platform/file_name_from_path.h"
#include "platform/replacement_file.h"
#include "project/path_in_project.h"

namespace kb {
namespace {

// The installer's desktop folder, the user's or all users' as the installation's scope is.
constexpr char kDesktopFolder[] = "DesktopFolder";
constexpr UINT kSummaryUpdateCount = 17;
constexpr char kFreeSomeSpace[] =
    "The disk holding the project folder may be full, or it refused a write: free some space "
    "there and build again";

std::string ErrorText(int error) {
  return std::generic_category().message(error);
}

// The first line of the failure of a statement adding a row about the file at `path`.
std::string RowOf(std::string_view table, const std::string& path) {
  return "Could not add the " + std::string(table) + " row of " + path + " to the package";
}

// `path` made absolute for a message; as given when the current folder is gone.
std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.string();
}

// Makes `package` a copy of the template. Returns why it could not, or nullopt.
std::optional<std::string> CopyTemplate(const std::string& template_path,
                                        const std::string& project_folder,
                                        const platform::ReplacementFile& package) {
  const std::string target = AbsolutePath(package.target());
  std::error_code error;
  if (std::filesystem::exists(target, error) && !std::filesystem::is_regular_file(target, error)) {
    return target +
           " is a folder or another kind of non-file: rename or remove it, or change "
           "the title";
  }
  if (!package.valid()) {
    return "Cannot create a file in the project folder " + AbsolutePath(project_folder) + " (" +
           ErrorText(package.error()) + "): make the folder writable, or move the project";
  }
  if (!std::ifstream(template_path, std::ios::binary)) {
    return "Cannot read the installer template " + template_path + " (" + ErrorText(errno) +
           "): reinstall kitbinder";
  }
  if (!std::filesystem::copy_file(template_path, package.temp_path(),
                                  std::filesystem::copy_options::overwrite_existing, error)) {
    return "Cannot write the package in the project folder (" + error.message() +
           "): free some space there and build again";
  }
  return std::nullopt;
}

// The failure of a build whose stop has been requested; nullopt while it goes on.
std::optional<std::string> StopRequested(const CPackageWriter& writer) {
  if (!writer.packageOptions.stop.stop_requested()) return std::nullopt;
  return "The build was cancelled";
}

// Every text of the project that the build writes into the package.
std::vector<std::string> PackageTexts(const CProjectSettings& settings,
                                      const std::string& project_folder, const FolderTrees& trees) {
  std::vector<std::string> texts = {
      settings.title,
      settings.version,
      settings.author,
      settings.supporturl,
      settings.comments,
      settings.productcode,
      settings.packagecode,
      settings.upgradecode,
      ReadLicenseText(PathInProject(project_folder, settings.eulafile))};
  for (const ProjectFileEntry& file : settings.files) {
    texts.insert(texts.end(),
                 {std::string(platform::FileNameFromPath(file.path)), file.shortcutname,
                  std::string(platform::FileNameFromPath(file.shortcuticon)), file.componentguid,
                  file.extensiondescription});
  }
  for (const auto& [row, tree] : trees) {
    for (const TreeFolder& folder : tree.folders) texts.push_back(folder.install_path);
    for (const TreeFile& file : tree.files) texts.push_back(file.install_path);
  }
  return texts;
}

// The first project text that the package's code page cannot hold, if any.
std::optional<std::string> TextOutsideCodePage(const CProjectSettings& settings,
                                               const std::string& project_folder,
                                               const FolderTrees& trees, int code_page) {
  for (const std::string& text : PackageTexts(settings, project_folder, trees)) {
    if (!msi::EncodeText(text, code_page)) return text;
  }
  return std::nullopt;
}

// The summary information: title, author, comments, creating application and package code
// (new for every package, whatever the project holds). It reaches the file with the next commit.
// True when every property was set.
bool WriteSummary(CPackageWriter& writer, CProjectSettings& settings) {
  msi::ScopedHandle summary;
  if (MsiGetSummaryInformationA(writer.database->database_handle(), nullptr, kSummaryUpdateCount,
                                summary.Receive()) != ERROR_SUCCESS) {
    return false;
  }
  bool written = true;
  const auto set = [&](UINT property, const std::string& text) {
    written &= MsiSummaryInfoSetPropertyA(summary.get(), property, VT_LPSTR, 0, nullptr,
                                          text.c_str()) == ERROR_SUCCESS;
  };
  set(PID_TITLE, settings.title);
  set(PID_AUTHOR, settings.author);
  set(PID_COMMENTS, settings.comments);
  set(PID_APPNAME, "kitbinder");
  settings.packagecode = NewBracedGuidText();
  set(PID_REVNUMBER, settings.packagecode);
  written &= WriteInstallTargetSummary(summary.get(), settings);
  return written && MsiSummaryInfoPersist(summary.get()) == ERROR_SUCCESS;
}

// The product properties the build sets: those the project gives a value.
std::vector<std::pair<std::string, std::string>> ProductProperties(
    const CProjectSettings& settings) {
  const std::pair<const char*, const std::string*> properties[] = {
      {"TargetDirName", &settings.title},     {"ProductName", &settings.title},
      {"ProductVersion", &settings.version},  {"ProductCode", &settings.productcode},
      {"UpgradeCode", &settings.upgradecode}, {"Manufacturer", &settings.author},
      {"SupportURL", &settings.supporturl},
  };
  std::vector<std::pair<std::string, std::string>> set;
  for (const auto& [name, value] : properties) {
    if (!value->empty()) set.emplace_back(name, *value);
  }
  return set;
}

// The product properties. A property the project leaves empty keeps the template's value: the
// installer reads an empty value as none, and a package without a product name or version does not
// install. The product code is new for a new version; the version it was made for is recorded.
// Returns the name of the first property that could not be set.
std::optional<std::string> SetProductProperties(CPackageWriter& writer,
                                                CProjectSettings& settings) {
  if (NeedsNewProductCode(settings)) settings.productcode = NewBracedGuidText();
  settings.productcodeversion = settings.version;
  if (settings.upgradecode.empty()) settings.upgradecode = NewBracedGuidText();
  for (const auto& [name, value] : ProductProperties(settings)) {
    if (!writer.SetProperty(name, value)) return name;
  }
  return std::nullopt;
}

// The installer's file-name forms of what the rows of `settings` install into the install
// folder, in list order: a file row's file, a folder row's folder; short names unique there.
std::vector<std::string> InstallFolderNames(const CProjectSettings& settings) {
  std::vector<std::string> names;
  for (const ProjectFileEntry& file : settings.files) {
    names.push_back(std::filesystem::path(file.path).filename().string());
  }
  return ShortLongNames(names);
}

// The Start Menu shortcut that `add` makes in the menu folder `menu_folder_key`, and its twin on
// the desktop when `entry` asks for one. False when a row could not be added.
template <typename AddShortcutIn>
bool AddShortcuts(const ProjectFileEntry& entry, const std::string& menu_folder_key,
                  AddShortcutIn add) {
  return !add(menu_folder_key).empty() && (!entry.desktopshortcut || !add(kDesktopFolder).empty());
}

// The component (with `component_attributes`), file row, feature link and shortcuts of the file
// at cabinet position `sequence` (counted from 1), which holds `size` bytes of it, installed as
// `file_name`. Returns which row could not be added.
std::optional<std::string> AddFileRows(CPackageWriter& writer, const ProjectFileEntry& file,
                                       const std::string& file_name, int sequence,
                                       std::uint32_t size, const std::string& menu_folder_key,
                                       int component_attributes) {
  const std::string source = PathInProject(writer.projectFolder, file.path);
  if (const auto table = AddFileComponent(
          *writer.database, {file.componentid, file.componentguid, "TARGETDIR", file.id, file_name,
                             source, size, sequence, component_attributes})) {
    return RowOf(*table, file.path);
  }
  if (!file.shortcutname.empty() &&
      !AddShortcuts(file, menu_folder_key,
                    [&](const std::string& folder) { return writer.AddShortcut(file, folder); })) {
    return RowOf("Shortcut", file.path);
  }
  return std::nullopt;
}

// The edits a package of `settings` shows when read back; its `cabinets` cabinets embedded or
// not.
ExpectedPackage ExpectedContents(const CProjectSettings& settings, const FolderTrees& trees,
                                 int cabinets, bool embedded) {
  ExpectedPackage expected;
  int files = static_cast<int>(settings.files.size() - trees.size());
  int empty_folders = 0;
  int folders = 0;
  for (const auto& [row, tree] : trees) {
    files += static_cast<int>(tree.files.size());
    folders += static_cast<int>(tree.folders.size());
    empty_folders += static_cast<int>(std::count_if(tree.folders.begin(), tree.folders.end(),
                                                    [](const TreeFolder& f) { return f.empty; }));
  }
  const auto shortcuts = std::accumulate(settings.files.begin(), settings.files.end(), 0,
                                         [](int count, const ProjectFileEntry& file) {
                                           if (file.shortcutname.empty()) return count;
                                           return count + (file.desktopshortcut ? 2 : 1);
                                         });
  expected.added_rows = {{"File", files},
                         {"Component", files + empty_folders},
                         {"FeatureComponents", files + empty_folders},
                         {"Shortcut", shortcuts},
                         {"Icon", static_cast<int>(settings.icons.size())},
                         {"Directory", 1 + folders}};
  ExpectProfileFolderRows(expected);
  ExpectPathRows(settings, expected);
  ExpectFileTypeRows(settings, expected);
  expected.properties = ProductProperties(settings);
  if (!settings.eulafile.empty()) {
    expected.properties.emplace_back("WelcomeForm_NextArgs", "EulaForm");
    expected.properties.emplace_back("FolderForm_PrevArgs", "EulaForm");
  }
  expected.package_code = settings.packagecode;
  expected.welcome_skipped = settings.noquestions;
  for (int number = 1; number <= cabinets; ++number) {
    expected.media_cabinets.push_back(MediaCabinetName(embedded, settings.title, number));
  }
  return expected;
}

// The package's edits, from the summary information to the last file's rows. Returns why the
// package is not whole, or nullopt when every edit reached the file.
std::optional<std::string> EditPackage(CPackageWriter& writer, CProjectSettings& settings,
                                       const std::string& template_path,
                                       const std::string& project_folder, const FolderTrees& trees,
                                       const StagedCabinet& cabinet, const PackedFiles& packed,
                                       bool embedded) {
  if (auto stopped = StopRequested(writer)) return stopped;
  CInstallerDatabase& database = *writer.database;
  if (!database.is_open()) {
    return "The package could not be opened as an installer database\nThe installer template " +
           template_path + " is damaged or no installer database: reinstall kitbinder";
  }
  if (const auto code_page = database.CodePage()) {
    if (const auto text = TextOutsideCodePage(settings, project_folder, trees, *code_page)) {
      return "The package's code page " + std::to_string(*code_page) + " cannot hold the text \"" +
             *text + "\"";
    }
  }
  // A statement fails here only when the template lacks what it needs: every value passed the
  // project's checks.
  const std::string lacking = "\nThe installer template " + template_path +
                              " lacks a table, column or row the build needs: reinstall kitbinder";
  if (!WriteSummary(writer, settings)) {
    return "Could not write the package's summary information" + lacking;
  }
  const auto on_disk = [&](const std::string& path) { return PathInProject(project_folder, path); };
  if (!settings.eulafile.empty() && !writer.SetLicenseText(on_disk(settings.eulafile))) {
    return "Could not put the licence " + settings.eulafile +
           " into the licence dialog (Control row EulaForm_LicenseText)" + lacking;
  }
  if (!settings.bannerfile.empty() && !writer.SetBanner(on_disk(settings.bannerfile))) {
    return "Could not put the banner " + settings.bannerfile +
           " into the dialogs (Binary row BannerBitmap)" + lacking;
  }
  if (const auto property = SetProductProperties(writer, settings)) {
    return "Could not set the property " + *property + " of the package" + lacking;
  }
  if (const auto target = SetInstallTarget(database, settings)) {
    return "Could not set " + *target + " of the package" + lacking;
  }
  if (settings.noquestions) writer.SkipWelcomeDialog();
  if (!WriteUpgradeRows(database, settings.upgradecode, settings.version)) {
    return "Could not write the Upgrade rows that replace older versions of the product" + lacking;
  }
  if (!SetProductIcon(database, settings)) {
    return "Could not give the product its icon in Add/Remove Programs (Property row "
           "ARPPRODUCTICON)" +
           lacking;
  }
  if (const auto failure =
          AddCabinets(database, cabinet, packed.last_sequences, settings.title, embedded)) {
    return *failure + "\n" + kFreeSomeSpace;
  }
  if (!database.Commit()) {
    return std::string("The cabinet could not be stored in the package\n") + kFreeSomeSpace;
  }
  for (const ProjectIconEntry& icon : settings.icons) {
    if (!writer.AddIcon(on_disk(icon.path), icon.name)) return RowOf("Icon", icon.path) + lacking;
  }
  const std::string menu_folder_key = writer.AddMenuFolder(settings.title);
  if (menu_folder_key.empty()) {
    return "Could not add the Start Menu folder (a Directory row) to the package" + lacking;
  }
  if (const auto table = AddProfileFolderRows(database, settings, menu_folder_key)) {
    return "Could not add the " + *table + " row that removes the product's folders" + lacking;
  }
  if (const auto table = AddPathRows(database, settings)) {
    return "Could not add the " + *table + " row that puts the install folder on PATH" + lacking;
  }
  const int component_attributes = PlatformComponentAttributes(settings);
  const std::vector<std::string> names = InstallFolderNames(settings);
  const std::vector<std::uint32_t>& sizes = packed.sizes;
  std::size_t added = 0;  // the files added so far, in cabinet order
  for (std::size_t i = 0; i < settings.files.size(); ++i) {
    const int sequence = static_cast<int>(added + 1);
    const ProjectFileEntry& entry = settings.files[i];
    std::optional<std::string> failure;
    if (const auto tree = trees.find(i); tree != trees.end()) {
      const FolderTree& files = tree->second;
      const std::size_t count = files.files.size();
      failure = AddTreeRows(database, files, names[i], sequence,
                            std::span(sizes).subspan(added, count), component_attributes);
      added += count;
      if (!failure && files.shortcut_target &&
          !AddShortcuts(entry, menu_folder_key, [&](const std::string& folder) {
            return writer.AddShortcut(entry, files.files[*files.shortcut_target], folder);
          })) {
        failure = RowOf("Shortcut", entry.path);
      }
    } else {
      failure = AddFileRows(writer, entry, names[i], sequence, sizes[added++], menu_folder_key,
                            component_attributes);
      if (!failure) {
        if (const auto table = AddFileTypeRows(database, settings, i, entry.id)) {
          failure = RowOf(*table, entry.path) + " that registers its file types";
        }
      }
    }
    if (failure) return *failure + lacking;
  }
  if (const auto table = AddLaunchRows(database, settings)) {
    return "Could not add the " + *table + " row that starts the program when setup exits" +
           lacking;
  }
  database.Commit();
  if (database.commit_failed()) {
    return std::string(
               "The package could not be written completely (disk full or write "
               "error)\n") +
           kFreeSomeSpace;
  }
  return std::nullopt;
}

}  // namespace

bool CPackageWriter::Build(CProjectSettings& settings, const std::string& template_path,
                           const std::string& project_folder) {
  projectFolder = project_folder;
  FolderTrees trees;
  const std::vector<ProjectProblem> problems = CheckProject(settings, project_folder, trees);
  if (!problems.empty()) {
    for (const ProjectProblem& problem : problems) {
      errorText += (errorText.empty() ? "" : "\n") + problem.text;
    }
    return false;
  }
  if (!settings.compression.empty()) {
    cabinetOptions.compression = *cabinet::ParseCabinetCompression(settings.compression);
  }
  // A reproducible build draws its identifiers from the project (and, once packed, from the
  // cabinet), and dates every file at the given time.
  std::string epoch_problem;
  const std::optional<std::int64_t> epoch = SourceDateEpoch(&epoch_problem);
  if (!epoch_problem.empty()) {
    errorText = epoch_problem;
    return false;
  }
  std::optional<ReproducibleIdentifiers> reproducible;
  if (epoch) {
    reproducible.emplace(ReproducibleSeed(settings, *epoch));
    cabinetOptions.file_time = *epoch;
  }
  // The package is made under a temporary name and replaces the last one only when whole.
  platform::ReplacementFile package(packageOptions.output_path.empty()
                                        ? PathInProject(project_folder, settings.title + ".msi")
                                        : packageOptions.output_path);
  if (const auto failure = CopyTemplate(template_path, project_folder, package)) {
    errorText = "Error creating blank msi\n" + *failure;
    return false;
  }
  StagedCabinet cabinet(project_folder);
  if (!cabinet.valid()) {
    errorText = "Cab file creation failed : cannot create a file in the project folder (" +
                ErrorText(errno) + ")\nMake the folder writable, or move the project";
    return false;
  }
  cabinetOptions.stop = packageOptions.stop;
  cabinetOptions.max_cabinet_size = packageOptions.max_cabinet_size;
  PackedFiles packed;
  if (auto failure = PackFiles(settings, project_folder, trees, cabinet, cabinetOptions, &packed)) {
    errorText = *failure;
    return false;
  }
  const int cabinets = static_cast<int>(packed.last_sequences.size());
  // The package code (and any new product code) then differs whenever the files do.
  for (int number = 1; reproducible && number <= cabinets; ++number) {
    reproducible->Mix(JoinedDigestText(cabinet.path(number), cabinet.data_file(number),
                                       cabinet.data_size(number)));
  }
  const bool embedded =
      EmbedsCabinets(settings.externalcabinets, package.temp_path(), cabinet, cabinets);
  database = std::make_unique<CInstallerDatabase>(package.temp_path());
  const std::map<std::string, int> template_rows = CountRows(*database);
  auto failure =
      EditPackage(*this, settings, template_path, project_folder, trees, cabinet, packed, embedded);
  // A close that failed leaves a package the reading back below finds lacking.
  static_cast<void>(database->CloseDatabase());
  if (!failure) failure = StopRequested(*this);
  if (!failure) {
    if (const auto lacked = WhatThePackageLacks(
            package.temp_path(), ExpectedContents(settings, trees, cabinets, embedded),
            template_rows)) {
      failure = *lacked + "\nThe installer template " + template_path +
                " may lack what the build needs, or the disk failed: reinstall kitbinder, or "
                "build again";
    }
  }
  if (!failure) failure = CheckBuiltPackage(package.temp_path(), &warnings);
  if (!failure && packageOptions.signing) {
    failure = SignPackage(package.temp_path(), *packageOptions.signing);
  }
  // The last moment the package can still be left unmade.
  if (!failure) failure = StopRequested(*this);
  if (!failure && !embedded) {
    failure = PlaceExternalCabinets(cabinet, cabinets, package.target(), settings.title);
  }
  if (failure) {
    errorText = *failure;
    return false;
  }
  if (!package.Commit()) {
    errorText = "The package could not replace " + AbsolutePath(package.target()) + "\n" +
                ErrorText(package.error()) + ": make the file and its folder writable";
    return false;
  }
  if (!embedded) externalCabinets = ExternalCabinetNames(settings.title, cabinets);
  return true;
}

}  // namespace kb

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "cabinet/cabinet_builder.h"
#include "msi/code_page_text.h"
#include "package/identifiers.h"
#include "package/license_text.h"
#include "package/package_writer.h"
#include "package/shortcut_names.h"
#include "project/file_name_from_path.h"

namespace kb {
namespace {

constexpr char kCabinetPrefix[] = "Install";
constexpr char kCabinetFile[] = "Install1.cab";
constexpr char kCabinetFailed[] = "Cab file creation failed : ";
constexpr int kVitalFile = 512;
constexpr UINT kSummaryUpdateCount = 17;

bool NamesSomething(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Length of the file at `path` in bytes; 0 when it cannot be read.
int FileLength(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<int>(size);
}

std::string CabinetName(int number) {
  return std::string(kCabinetPrefix) + std::to_string(number) + ".cab";
}

// A fresh copy of the template under the package's name; any older package goes first.
bool CopyTemplate(const std::string& template_path, const std::string& package) {
  std::remove(package.c_str());
  std::error_code error;
  return std::filesystem::copy_file(template_path, package,
                                    std::filesystem::copy_options::overwrite_existing, error);
}

// Keys for every file and the cabinet of all of them. Returns the failure text,
// or nullopt when "Install1.cab" holds every file.
std::optional<std::string> PackFiles(CProjectSettings& settings) {
  cabinet::CabinetBuilder builder;
  builder.SetCabinetName(kCabinetPrefix);
  for (ProjectFileEntry& file : settings.files) {
    if (file.id.empty()) file.id = NewKeyText();
    if (file.componentid.empty()) file.componentid = NewKeyText();
    if (file.componentguid.empty()) file.componentguid = NewGuidText();
    if (!NamesSomething(file.path)) return "Failed to add file " + file.path;
    builder.AddFile(file.path, file.id);
  }
  if (!builder.CreateCabinet()) return kCabinetFailed + builder.LastError();
  // A package embeds one cabinet: files that spill into a second cannot be installed.
  if (const int cabinets = builder.LastCabinetNumber(); cabinets > 1) {
    for (int number = 1; number <= cabinets; ++number) std::remove(CabinetName(number).c_str());
    return std::string(kCabinetFailed) + "the files need " + std::to_string(cabinets) +
           " cabinets of at most " +
           std::to_string(cabinet::CabinetBuilder::kDefaultMaxCabinetSize) +
           " bytes, and a package holds one\n";
  }
  return std::nullopt;
}

// Every text of the project that the build writes into the package.
std::vector<std::string> PackageTexts(const CProjectSettings& settings) {
  std::vector<std::string> texts = {
      settings.title,       settings.version,     settings.author,
      settings.supporturl,  settings.comments,    settings.productcode,
      settings.packagecode, settings.upgradecode, ReadLicenseText(settings.eulafile)};
  for (const ProjectFileEntry& file : settings.files) {
    texts.insert(texts.end(), {FileNameFromPath(file.path), file.shortcutname,
                               FileNameFromPath(file.shortcuticon), file.componentguid});
  }
  return texts;
}

// The first project text that the package's code page cannot hold, if any.
std::optional<std::string> TextOutsideCodePage(const CProjectSettings& settings, int code_page) {
  for (const std::string& text : PackageTexts(settings)) {
    if (!msi::EncodeText(text, code_page)) return text;
  }
  return std::nullopt;
}

// The summary information: title, author, comments, creating application and package code
// (made now when the project has none). It reaches the file with the next commit.
void WriteSummary(CPackageWriter& writer, CProjectSettings& settings) {
  msi::ScopedHandle summary;
  if (MsiGetSummaryInformationA(writer.database->database_handle(), nullptr, kSummaryUpdateCount,
                                summary.Receive()) != ERROR_SUCCESS) {
    return;
  }
  const auto set = [&](UINT property, const std::string& text) {
    MsiSummaryInfoSetPropertyA(summary.get(), property, VT_LPSTR, 0, nullptr, text.c_str());
  };
  set(PID_TITLE, settings.title);
  set(PID_AUTHOR, settings.author);
  set(PID_COMMENTS, settings.comments);
  set(PID_APPNAME, "kitbinder");
  if (settings.packagecode.empty()) settings.packagecode = NewBracedGuidText();
  set(PID_REVNUMBER, settings.packagecode);
  MsiSummaryInfoPersist(summary.get());
}

// The product properties. A property the project leaves empty keeps the template's value: the
// installer reads an empty value as none, and a package without a product name or version does not
// install.
void SetProductProperties(CPackageWriter& writer, CProjectSettings& settings) {
  if (settings.productcode.empty()) settings.productcode = NewBracedGuidText();
  if (settings.upgradecode.empty()) settings.upgradecode = NewBracedGuidText();
  const std::pair<const char*, const std::string*> properties[] = {
      {"TargetDirName", &settings.title},     {"ProductName", &settings.title},
      {"ProductVersion", &settings.version},  {"ProductCode", &settings.productcode},
      {"UpgradeCode", &settings.upgradecode}, {"Manufacturer", &settings.author},
      {"SupportURL", &settings.supporturl},
  };
  for (const auto& [name, value] : properties) {
    if (!value->empty()) writer.SetProperty(name, *value);
  }
}

// The cabinet becomes the package's stream "Instal01.cab". True when it was stored.
bool StoreCabinet(CInstallerDatabase& database) {
  bool stored = false;
  if (database.Execute("insert into `_Streams` (`Name`) values('Instal01.cab')") &&
      database.Execute("select `Name`,`Data` from `_Streams` where `Name`='Instal01.cab'")) {
    if (database.Fetch() && database.SetStreamAndUpdate(2, kCabinetFile)) {
      stored = database.Commit();
    }
    database.CloseView();
  }
  std::remove(kCabinetFile);
  return stored;
}

// The component, file row, feature link and shortcut of the file at list position `sequence`
// (counted from 1, the file's place in the cabinet).
void AddFileRows(CPackageWriter& writer, const ProjectFileEntry& file, int sequence,
                 const std::string& menu_folder_key) {
  CInstallerDatabase& database = *writer.database;
  database.Execute(
      "insert into `Component` (`Component`,`ComponentId`,`Directory_`,`Attributes`,`KeyPath`) "
      "values(?,?,'TARGETDIR',0,?)",
      {file.componentid, "{" + file.componentguid + "}", file.id});
  database.CloseView();
  database.Execute(
      "insert into `File` (`File`,`Component_`,`FileName`,`FileSize`,`Version`,`Language`,"
      "`Attributes`,`Sequence`) values(?,?,?,?,NULL,NULL,?,?)",
      {file.id, file.componentid, ShortLongFileName(file.path), FileLength(file.path), kVitalFile,
       sequence});
  database.CloseView();
  database.Execute(
      "insert into `FeatureComponents` (`Feature_`,`Component_`) values('_MainFeature',?)",
      {file.componentid});
  database.CloseView();
  if (!file.shortcutname.empty()) writer.AddShortcut(file, menu_folder_key);
}

}  // namespace

bool CPackageWriter::Build(CProjectSettings& settings, const std::string& template_path) {
  const std::string package = settings.title + ".msi";
  if (!CopyTemplate(template_path, package)) {
    errorText = "Error creating blank msi";
    return false;
  }
  if (auto failure = PackFiles(settings)) {
    errorText = *failure;
    return false;
  }
  database = std::make_unique<CInstallerDatabase>(package);
  if (const auto code_page = database->CodePage()) {
    if (const auto text = TextOutsideCodePage(settings, *code_page)) {
      std::remove(kCabinetFile);
      errorText = "The package's code page " + std::to_string(*code_page) +
                  " cannot hold the text \"" + *text + "\"";
      return false;
    }
  }
  WriteSummary(*this, settings);
  SetLicenseText(settings.eulafile);
  SetBanner(settings.bannerfile);
  SetProductProperties(*this, settings);
  if (settings.noquestions) SkipWelcomeDialog();
  const bool stored = StoreCabinet(*database);
  for (const ProjectIconEntry& icon : settings.icons) AddIcon(icon.path, icon.name);
  const std::string menu_folder_key = AddMenuFolder(settings.title);
  for (std::size_t i = 0; i < settings.files.size(); ++i) {
    AddFileRows(*this, settings.files[i], static_cast<int>(i + 1), menu_folder_key);
  }
  database->Commit();
  if (stored && database->commit_failed()) {
    errorText = "The package could not be written completely (disk full or write error)";
    return false;
  }
  return stored;
}

}  // namespace kb

#include "package/project_checks.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <map>

#include "cabinet/builder/cabinet_builder.h"
#include "package/file_kinds.h"
#include "package/file_type_rows.h"
#include "package/identifiers.h"
#include "package/shortcut_names.h"
#include "package/windows_names.h"
#include "platform/codepage.h"
#include "project/path_in_project.h"

namespace kb {
namespace {

// The longest title whose package, under the hidden temporary name it is written under first
// (".TITLE.msi.XXXXXX"), is a valid file name here.
constexpr std::size_t kMaxTitleBytes = NAME_MAX - std::string_view("..msi.XXXXXX").size();
// The width of the Shortcut table's Name column (short name, "|", label).
constexpr std::size_t kMaxShortcutNameCharacters = 128;

using Problems = std::vector<std::string>;

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// The name a source file is installed under: its name on disk.
std::string InstalledName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error);
}

void CheckTitle(const std::string& title, Problems& problems) {
  constexpr char kUse[] = ": change it; it names the package file and the product's folder";
  if (title.empty()) {
    problems.push_back(std::string("The title is empty") + kUse);
  } else if (const auto problem = WindowsNameProblem(title)) {
    problems.push_back("The title " + Quoted(title) + " " + *problem + kUse);
  } else if (title.size() > kMaxTitleBytes) {
    problems.push_back("The title " + Quoted(title) + " is longer than " +
                       std::to_string(kMaxTitleBytes) + " bytes" + kUse);
  }
}

void CheckFileNames(const CProjectSettings& settings, Problems& problems) {
  std::map<std::string, const std::string*> installed;  // name key -> the first file's path
  for (const ProjectFileEntry& file : settings.files) {
    const std::string name = InstalledName(file.path);
    if (const auto problem = WindowsNameProblem(name)) {
      problems.push_back("The file name " + Quoted(name) + " of " + file.path + " " + *problem +
                         ": rename the file");
      continue;
    }
    const auto [first, added] = installed.emplace(WindowsNameKey(name), &file.path);
    if (added) continue;
    if (*first->second == file.path) {
      problems.push_back(file.path + " is listed twice: leave one out");
    } else {
      problems.push_back(*first->second + " and " + file.path +
                         " would be installed into one folder under one name (letter case "
                         "aside): rename one of them, or leave one out");
    }
  }
}

// A file larger than a cabinet holds would fail only after the rest was packed, and its size
// would not fit the File table's signed 32-bit column.
void CheckFileSizes(const CProjectSettings& settings, const std::string& project_folder,
                    Problems& problems) {
  constexpr std::uint64_t kLimit = cabinet::CabinetBuilder::kMaxFileSize;
  for (const ProjectFileEntry& file : settings.files) {
    std::error_code error;
    const std::uintmax_t size =
        std::filesystem::file_size(PathInProject(project_folder, file.path), error);
    if (error || size <= kLimit) continue;  // an unreadable file is reported when it is packed
    problems.push_back(file.path + " holds " + std::to_string(size) + " bytes, more than the " +
                       std::to_string(kLimit) +
                       " a package can hold in one file: leave it out or split it");
  }
}

// Puts `code` into the form `canonical` makes of its GUID text; refuses it when it is no GUID.
template <typename Canonical>
void CheckGuid(std::string& code, const std::string& field, Canonical canonical,
               const std::string& shape, Problems& problems) {
  if (code.empty()) return;
  if (const auto guid = CanonicalGuidText(code)) {
    code = canonical(*guid);
    return;
  }
  problems.push_back("The " + field + " " + Quoted(code) + " is not a GUID: write it as " + shape +
                     " with hexadecimal digits, or leave it empty to get a new one");
}

void CheckCodes(CProjectSettings& settings, Problems& problems) {
  const auto braced = [](const std::string& guid) { return "{" + guid + "}"; };
  const auto bare = [](const std::string& guid) { return guid; };
  const std::string braced_shape = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
  CheckGuid(settings.productcode, "product code", braced, braced_shape, problems);
  CheckGuid(settings.packagecode, "package code", braced, braced_shape, problems);
  CheckGuid(settings.upgradecode, "upgrade code", braced, braced_shape, problems);
  std::map<std::string, const std::string*> owners;  // component GUID -> the first file's path
  for (ProjectFileEntry& file : settings.files) {
    CheckGuid(file.componentguid, "component GUID of " + file.path, bare,
              "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", problems);
    if (file.componentguid.empty()) continue;
    const auto [first, added] = owners.emplace(file.componentguid, &file.path);
    if (!added) {
      problems.push_back(*first->second + " and " + file.path + " share the component GUID " +
                         file.componentguid +
                         ": each file needs its own; clear one to get a new one");
    }
  }
}

void CheckIcons(const CProjectSettings& settings, const std::string& project_folder,
                Problems& problems) {
  constexpr char kChoose[] = ": choose a Windows icon (.ico) or a program holding icons (.exe)";
  const auto on_disk = [&](const std::string& path) { return PathInProject(project_folder, path); };
  std::map<std::string, const std::string*> keys;  // icon key -> the first icon's path
  for (const ProjectIconEntry& icon : settings.icons) {
    if (const auto problem = IconFileProblem(on_disk(icon.path))) {
      problems.push_back("The icon file " + icon.path + " " + *problem + kChoose);
    }
    const std::string key = IconKey(icon.name);
    if (const auto problem = WindowsNameProblem(key)) {
      problems.push_back("The name " + Quoted(key) + " the package keeps the icon file " +
                         icon.path + " under " + *problem + ": rename the icon file");
      continue;
    }
    const auto [first, added] = keys.emplace(WindowsNameKey(key), &icon.path);
    if (!added) {
      problems.push_back("The icon files " + *first->second + " and " + icon.path +
                         " have one name (letter case aside), and the package keeps icons by "
                         "name: rename one of them");
    }
  }
  for (const ProjectFileEntry& file : settings.files) {
    if (file.shortcutname.empty() || file.shortcuticon.empty()) continue;
    const bool listed = std::any_of(
        settings.icons.begin(), settings.icons.end(), [&](const ProjectIconEntry& icon) {
          return icon.path == file.shortcuticon ||
                 SameFile(on_disk(icon.path), on_disk(file.shortcuticon));
        });
    if (!listed) {
      problems.push_back("The shortcut icon " + file.shortcuticon + " of " + file.path +
                         " is not among the project's icons: add it to them ([icons] in the "
                         "project file)");
    }
  }
}

// A project that sets no licence or banner keeps the template's.
void CheckLicenseAndBanner(const CProjectSettings& settings, const std::string& project_folder,
                           Problems& problems) {
  if (!settings.eulafile.empty()) {
    if (const auto problem = LicenseFileProblem(PathInProject(project_folder, settings.eulafile))) {
      problems.push_back("The licence file " + settings.eulafile + " " + *problem +
                         ": choose a Rich Text (.rtf) or plain text file in UTF-8 or "
                         "Windows-1252, or none");
    }
  }
  if (!settings.bannerfile.empty()) {
    if (const auto problem =
            BannerFileProblem(PathInProject(project_folder, settings.bannerfile))) {
      problems.push_back("The banner " + settings.bannerfile + " " + *problem +
                         ": choose a JPEG or BMP image, or none");
    }
  }
}

void CheckShortcutLabels(const CProjectSettings& settings, Problems& problems) {
  for (const ProjectFileEntry& file : settings.files) {
    const std::string& label = file.shortcutname;
    if (label.empty()) continue;
    const std::string start = "The shortcut label " + Quoted(label) + " of " + file.path + " ";
    if (label.find('|') != std::string::npos) {
      problems.push_back(start +
                         "holds \"|\", which the installer keeps between a short and a "
                         "long name: remove it");
      continue;
    }
    // The long part names the shortcut's file in the Start Menu; "default" takes the file's own
    // name, checked with the files.
    if (label != "default") {
      if (const auto problem = WindowsNameProblem(label + ".lnk")) {
        problems.push_back(start + *problem + ": change it");
        continue;
      }
    }
    const std::string name = ShortcutLabel(ShortLongName(InstalledName(file.path)), label);
    if (const std::size_t length = platform::Utf8Length(name);
        length > kMaxShortcutNameCharacters) {
      problems.push_back(start + "is too long: with the file's short name in front it takes " +
                         std::to_string(length) + " characters, and the installer keeps at most " +
                         std::to_string(kMaxShortcutNameCharacters) + "; shorten it");
    }
  }
}

// The document types a program opens: well-formed extensions, on a file rather than a folder.
void CheckFileTypes(const CProjectSettings& settings, const std::string& project_folder,
                    Problems& problems) {
  for (const ProjectFileEntry& file : settings.files) {
    const std::vector<std::string> extensions = SplitExtensions(file.extensions);
    if (extensions.empty()) continue;
    std::error_code error;
    if (std::filesystem::is_directory(PathInProject(project_folder, file.path), error)) {
      problems.push_back("The folder " + file.path +
                         " is given file types to open: give them to the program inside it");
      continue;
    }
    for (const std::string& extension : extensions) {
      if (const auto problem = ExtensionProblem(extension)) {
        problems.push_back("The file type " + Quoted(extension) + " of " + file.path + " " +
                           *problem + ": write it as .abc");
      }
    }
  }
}

// The program the finish dialog offers to start: one file of the project at most, and a program
// rather than a folder or a document.
void CheckLaunchFile(const CProjectSettings& settings, const std::string& project_folder,
                     Problems& problems) {
  const ProjectFileEntry* first = nullptr;
  std::size_t first_index = 0;
  const auto key = [](std::size_t index, const ProjectFileEntry& file) {
    return "file" + std::to_string(index) + "launchonexit (" + file.path + ")";
  };
  for (std::size_t index = 0; index < settings.files.size(); ++index) {
    const ProjectFileEntry& file = settings.files[index];
    if (!file.launchonexit) continue;
    if (first != nullptr) {
      problems.push_back("Both " + key(first_index, *first) + " and " + key(index, file) +
                         " ask to start their program when setup exits: keep one");
      continue;
    }
    first = &file;
    first_index = index;
    const std::string source = PathInProject(project_folder, file.path);
    std::error_code error;
    if (std::filesystem::is_directory(source, error)) {
      problems.push_back("The folder " + file.path +
                         " is to be started when setup exits: choose a program file instead");
    } else if (const auto problem = ProgramFileProblem(source)) {
      problems.push_back(file.path + " is to be started when setup exits, but " + *problem +
                         ": choose a program file instead");
    }
  }
}

}  // namespace

std::vector<std::string> CheckProject(CProjectSettings& settings,
                                      const std::string& project_folder) {
  Problems problems;
  CheckTitle(settings.title, problems);
  CheckFileNames(settings, problems);
  CheckFileSizes(settings, project_folder, problems);
  CheckCodes(settings, problems);
  CheckIcons(settings, project_folder, problems);
  CheckLicenseAndBanner(settings, project_folder, problems);
  CheckShortcutLabels(settings, problems);
  CheckFileTypes(settings, project_folder, problems);
  CheckLaunchFile(settings, project_folder, problems);
  return problems;
}

}  // namespace kb

#include "ui/files_help_text.h"

#include "ui/help_texts.h"

namespace kb {
namespace {

// How string 40000 names the default folder.
constexpr std::string_view kDefaultFolder = "c:\\Program Files\\Title";

std::string_view DefaultFolderText(InstallScope scope, TargetPlatform platform) {
  const bool x64 = platform == TargetPlatform::kX64;
  switch (scope) {
    case InstallScope::kUser:
      return "the user's own c:\\Users\\Name\\AppData\\Local\\Programs\\Title";
    case InstallScope::kBoth:
      return x64 ? "c:\\Program Files\\Title for all users, or the user's own "
                   "AppData\\Local\\Programs\\Title"
                 : "c:\\Program Files (x86)\\Title (c:\\Program Files\\Title on 32-bit Windows) "
                   "for all users, or the user's own AppData\\Local\\Programs\\Title";
    case InstallScope::kMachine:
      break;
  }
  return x64 ? kDefaultFolder
             : "c:\\Program Files (x86)\\Title (c:\\Program Files\\Title on 32-bit Windows)";
}

}  // namespace

std::string FilesHelpText(InstallScope scope, TargetPlatform platform) {
  std::string text(HelpText(kHelpFiles));
  text.replace(text.find(kDefaultFolder), kDefaultFolder.size(),
               DefaultFolderText(scope, platform));
  return text;
}

}  // namespace kb

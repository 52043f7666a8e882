#include "package/build_command.h"

#include <unistd.h>

#include "package/package_writer.h"
#include "platform/program_directory.h"

namespace kb {

std::string TemplateFileName(std::string_view language) {
  if (language == "fr") return "template-fr.msi";
  if (language == "es") return "template-es.msi";
  return "template-en.msi";
}

std::string TemplatePath(std::string_view language) {
  return platform::ProgramDataFile(TemplateFileName(language));
}

BuildOutcome BuildPackage(CProjectSettings& settings, const std::string& project_folder,
                          cabinet::CabinetRunOptions cabinet_options) {
  if (::chdir(project_folder.c_str()) != 0) {
    return {false,
            std::string(kBuildFailedMessage) + "Cannot enter the project folder " + project_folder};
  }
  CPackageWriter writer;
  writer.cabinetOptions = std::move(cabinet_options);
  if (writer.Build(settings, TemplatePath(settings.language))) {
    return {true, std::string(kBuildCompleteMessage)};
  }
  return {false, std::string(kBuildFailedMessage) + writer.errorText};
}

}  // namespace kb

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

namespace {

// Makes the cabinet builder report to an observer for the life of the object.
class ScopedProgressObserver {
 public:
  explicit ScopedProgressObserver(cabinet::CabinetProgressObserver observer) {
    cabinet::CabinetBuilder::SetProgressObserver(std::move(observer));
  }
  ~ScopedProgressObserver() { cabinet::CabinetBuilder::SetProgressObserver({}); }
  ScopedProgressObserver(const ScopedProgressObserver&) = delete;
  ScopedProgressObserver& operator=(const ScopedProgressObserver&) = delete;
};

}  // namespace

BuildOutcome BuildPackage(CProjectSettings& settings, const std::string& project_folder,
                          cabinet::CabinetProgressObserver progress) {
  const ScopedProgressObserver observer(std::move(progress));
  if (::chdir(project_folder.c_str()) != 0) {
    return {false,
            std::string(kBuildFailedMessage) + "Cannot enter the project folder " + project_folder};
  }
  CPackageWriter writer;
  if (writer.Build(settings, TemplatePath(settings.language))) {
    return {true, std::string(kBuildCompleteMessage)};
  }
  return {false, std::string(kBuildFailedMessage) + writer.errorText};
}

}  // namespace kb

#include "package/build_command.h"

#include <exception>
#include <new>

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
                          cabinet::CabinetRunOptions cabinet_options,
                          PackageOptions package_options) {
  try {
    CPackageWriter writer;
    writer.cabinetOptions = std::move(cabinet_options);
    writer.packageOptions = std::move(package_options);
    if (writer.Build(settings, TemplatePath(settings.language), project_folder)) {
      return {true, std::string(kBuildCompleteMessage), std::move(writer.warnings)};
    }
    // Whatever the step that noticed the request failed with, the user asked for it.
    if (writer.packageOptions.stop.stop_requested()) {
      return {false, std::string(kBuildCancelledMessage), {}, true};
    }
    return {false, std::string(kBuildFailedMessage) + writer.errorText, {}};
  } catch (...) {
    return EscapedExceptionOutcome();
  }
}

BuildOutcome EscapedExceptionOutcome() {
  std::string cause;
  try {
    throw;
  } catch (const std::bad_alloc&) {
    cause = "There was not enough memory for the build: close other programs and build again";
  } catch (const std::exception& error) {
    cause =
        std::string("The build stopped on an unexpected error (") + error.what() + "): build again";
  } catch (...) {
    cause = "The build stopped on an unexpected error: build again";
  }
  return {false, std::string(kBuildFailedMessage) + cause, {}};
}

}  // namespace kb

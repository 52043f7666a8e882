#include "package/build_command.h"

#include <exception>
#include <new>

#include "package/package_writer.h"
#include "platform/program_directory.h"

namespace kb {
namespace {

// What the user must know of a package whose cabinets lie beside it: they ship together.
std::string ExternalCabinetsNote(const CPackageWriter& writer, const CProjectSettings& settings) {
  const std::vector<std::string>& cabinets = writer.externalCabinets;
  if (cabinets.empty()) return {};
  std::string names = cabinets.front();
  for (std::size_t i = 1; i < cabinets.size(); ++i) {
    names += (i + 1 == cabinets.size() ? " and " : ", ") + cabinets[i];
  }
  const std::string package = writer.packageOptions.output_path.empty()
                                  ? settings.title + ".msi"
                                  : writer.packageOptions.output_path;
  return "\nThe files are in " + std::to_string(cabinets.size()) +
         (cabinets.size() == 1 ? " cabinet" : " cabinets") + " beside the package: " + names +
         ". Ship them together with " + package +
         ", in the same folder: it cannot install "
         "without them.";
}

}  // namespace

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
      return {true, std::string(kBuildCompleteMessage) + ExternalCabinetsNote(writer, settings),
              std::move(writer.warnings)};
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

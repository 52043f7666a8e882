#include "cli/build_options.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "cabinet/builder/cabinet_compression.h"
#include "cli/jobs_option.h"
#include "package/identifiers.h"
#include "package/major_upgrade.h"
#include "package/windows_names.h"
#include "platform/regular_file.h"
#include "project/install_target.h"
#include "project/path_in_project.h"

namespace kb::cli {
namespace {

constexpr std::string_view kExpected =
    "expected a project file and optionally --write-back, --jobs N, --set KEY=VALUE, "
    "--compression LEVEL, --output PATH, --sign CERT.p12, --sign-password-file FILE and "
    "--timestamp URL";

// Why `value` cannot stand for the property `key` (a phrase), or nullopt. Only the values a
// build would refuse are checked here; the others (files, for one) are checked by the build.
std::optional<std::string> ValueProblem(std::string_view key, const std::string& value) {
  if (!IsPropertyKey(key)) return "there is no such key in [properties]";
  std::string lower(key);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto is = [&](std::string_view name) { return lower == name; };
  if (is("version")) return ProductVersionProblem(value);
  if ((is("productcode") || is("packagecode") || is("upgradecode")) && !value.empty() &&
      !CanonicalGuidText(value)) {
    return "is not a GUID";
  }
  if (is("title")) {
    if (auto problem = WindowsNameProblem(value)) return "the title " + *problem;
  }
  if (is("installscope") && !InstallScopeFromText(value)) return "is not machine, user or both";
  if (is("platform") && !TargetPlatformFromText(value)) return "is not x86 or x64";
  if (is("compression") && !value.empty() && !cabinet::ParseCabinetCompression(value)) {
    return "is none of best, normal, fast, none and lzx";
  }
  return std::nullopt;
}

// The text after an option that takes a value, or nullopt when the arguments end.
std::optional<std::string_view> OptionValue(std::span<const std::string_view> args,
                                            std::size_t& i) {
  return ++i < args.size() ? std::optional(args[i]) : std::nullopt;
}

std::optional<std::string> AddOverride(std::string_view text, BuildOptions& options) {
  auto given = ParsePropertyOverride(text);
  if (!given) return "--set needs KEY=VALUE, not \"" + std::string(text) + "\"";
  if (auto problem = ValueProblem(given->key, given->value)) {
    return "--set " + std::string(text) + ": " + *problem;
  }
  options.overrides.push_back(std::move(*given));
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ParseBuildOptions(std::span<const std::string_view> args,
                                             BuildOptions& options) {
  const std::pair<std::string_view, std::string*> texts[] = {
      {"--output", &options.output},
      {"--sign", &options.certificate},
      {"--sign-password-file", &options.password_file},
      {"--timestamp", &options.timestamp_url},
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const auto text = std::find_if(std::begin(texts), std::end(texts),
                                   [&](const auto& option) { return option.first == arg; });
    if (arg == "--write-back") {
      options.write_back = true;
    } else if (arg == kJobsOption) {
      const std::optional<std::size_t> jobs = ++i < args.size() ? ParseJobs(args[i]) : std::nullopt;
      if (!jobs) return std::string(kJobsRangeMessage);
      options.jobs = *jobs;
    } else if (arg == "--set") {
      const auto value = OptionValue(args, i);
      if (!value) return "--set needs KEY=VALUE";
      if (auto problem = AddOverride(*value, options)) return problem;
    } else if (arg == "--compression") {
      // The project's key for this build, as --set would give it.
      const auto value = OptionValue(args, i);
      if (!value) return "--compression needs none, fast, normal, best or lzx";
      if (auto problem = AddOverride("compression=" + std::string(*value), options)) return problem;
    } else if (text != std::end(texts)) {
      const auto value = OptionValue(args, i);
      if (!value || value->empty()) return std::string(arg) + " needs a value";
      *text->second = std::string(*value);
    } else if (options.project.empty() && !arg.starts_with("--")) {
      options.project = arg;
    } else {
      return std::string(kExpected);
    }
  }
  if (options.project.empty()) return "expected a project file";
  if (options.certificate.empty() && !options.password_file.empty()) {
    return "--sign-password-file goes with --sign";
  }
  return std::nullopt;
}

std::optional<SigningRequest> SigningFor(const BuildOptions& options,
                                         const CProjectSettings& project,
                                         const std::string& project_folder, std::string* problem) {
  SigningRequest request;
  if (!options.certificate.empty()) {
    std::error_code error;
    request.certificate = std::filesystem::absolute(options.certificate, error).string();
  } else if (!project.signcertificate.empty()) {
    request.certificate = PathInProject(project_folder, project.signcertificate);
  } else {
    return std::nullopt;
  }
  if (!options.password_file.empty()) {
    std::string why;
    auto password = platform::ReadRegularFile(options.password_file, &why);
    if (!password) {
      *problem = "the password file " + options.password_file + " " + why;
      return std::nullopt;
    }
    // The file's one line, without its line break.
    password->erase(password->find_last_not_of("\r\n") + 1);
    request.password = std::move(*password);
  } else if (const char* password = std::getenv("KITBINDER_SIGN_PASSWORD")) {
    request.password = password;
  }
  request.timestamp_url =
      options.timestamp_url.empty() ? project.timestampurl : options.timestamp_url;
  request.description = project.title;
  return request;
}

}  // namespace kb::cli

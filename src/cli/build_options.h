#ifndef KITBINDER_CLI_BUILD_OPTIONS_H_
#define KITBINDER_CLI_BUILD_OPTIONS_H_

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "package/package_signing.h"
#include "project/project_settings.h"
#include "project/property_override.h"

namespace kb::cli {

// What `kitbinder-cli build` was asked for on its command line.
struct BuildOptions {
  std::string_view project;
  bool write_back = false;
  std::size_t jobs = 0;                     // one per hardware thread
  std::vector<PropertyOverride> overrides;  // --set KEY=VALUE, in the order given
  std::string output;                       // --output PATH; empty for beside the project
  std::string certificate;                  // --sign CERT.p12
  std::string password_file;                // --sign-password-file FILE
  std::string timestamp_url;                // --timestamp URL
};

// Fills `options` from the arguments, the options before or after the project file; returns
// the usage error's message, or nullopt. Each override's key and value are checked as the
// project's own value would be, the message naming the key.
std::optional<std::string> ParseBuildOptions(std::span<const std::string_view> args,
                                             BuildOptions& options);

// The signing the options and `project` ask for: the certificate of --sign (relative to the
// current folder) or else the project's `signcertificate` (relative to `project_folder`); the
// password from --sign-password-file, else from the environment variable
// KITBINDER_SIGN_PASSWORD, else empty; the time-stamp server of --timestamp or the project's.
// nullopt when there is no certificate; a password file that cannot be read is reported in
// *problem (and nullopt returned).
std::optional<SigningRequest> SigningFor(const BuildOptions& options,
                                         const CProjectSettings& project,
                                         const std::string& project_folder, std::string* problem);

}  // namespace kb::cli

#endif  // KITBINDER_CLI_BUILD_OPTIONS_H_

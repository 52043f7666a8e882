#include "package/package_signing.h"

#include <cerrno>
#include <cstdio>
#include <sstream>
#include <vector>

#include "platform/regular_file.h"
#include "platform/run_program.h"

namespace kb {
namespace {

constexpr char kSigner[] = "osslsigncode";

// The first line of a program's output, where osslsigncode says what went wrong.
std::string FirstLine(const std::string& output) {
  std::istringstream lines(output);
  std::string line;
  std::getline(lines, line);
  return line;
}

// The value after "label :" on the line of `output` that starts with `label`.
std::string LabelledValue(const std::string& output, const std::string& label) {
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(label, 0) != 0) continue;
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::istringstream value(line.substr(colon + 1));
    std::string word;
    value >> word;
    return word;
  }
  return std::string();
}

// Whether osslsigncode's report on `signed_package` shows both signature streams holding the
// digests of the package as it is. The chain of trust is not judged here: that is Windows'
// business on the user's machine, and a test or in-house certificate is untrusted here.
bool SignatureMatchesContents(const std::string& report) {
  for (const char* stream : {"DigitalSignature", "MsiDigitalSignatureEx"}) {
    const std::string current = LabelledValue(report, std::string("Current ") + stream);
    if (current.empty() || current != LabelledValue(report, std::string("Calculated ") + stream)) {
      return false;
    }
  }
  return true;
}

std::vector<std::string> SignCommand(const std::string& package, const std::string& signed_package,
                                     const SigningRequest& request) {
  std::vector<std::string> command = {kSigner,     "sign",       "-pkcs12",     request.certificate,
                                      "-readpass", "/dev/stdin", "-n",          request.description,
                                      "-h",        "sha256",     "-add-msi-dse"};
  if (!request.timestamp_url.empty()) {
    command.insert(command.end(), {"-ts", request.timestamp_url});
  }
  command.insert(command.end(), {"-in", package, "-out", signed_package});
  return command;
}

std::optional<std::string> SignInto(const std::string& package, const std::string& signed_package,
                                    const SigningRequest& request) {
  errno = 0;
  const auto signing =
      platform::RunProgram(SignCommand(package, signed_package, request), request.password);
  if (!signing && errno == ENOENT) {
    return "Signing needs osslsigncode, which is not installed (Debian package osslsigncode).";
  }
  if (!signing) return "osslsigncode could not be started.";
  if (signing->exit_status != 0) {
    return "osslsigncode could not sign the package with " + request.certificate + ": " +
           FirstLine(signing->output);
  }
  const auto verifying = platform::RunProgram({kSigner, "verify", "-in", signed_package});
  if (!verifying || !SignatureMatchesContents(verifying->output)) {
    return "The signature osslsigncode made does not match the package; the package was not "
           "signed.";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> SignPackage(const std::string& package, const SigningRequest& request) {
  std::string problem;
  if (!platform::OpenRegularFile(request.certificate, &problem).valid()) {
    return "The certificate " + request.certificate + " " + problem + ".";
  }
  const std::string signed_package = package + ".signed";
  auto failure = SignInto(package, signed_package, request);
  if (!failure && std::rename(signed_package.c_str(), package.c_str()) != 0) {
    failure = "The signed package could not replace the unsigned one.";
  }
  if (failure) std::remove(signed_package.c_str());
  return failure;
}

}  // namespace kb

#ifndef KITBINDER_PACKAGE_PACKAGE_SIGNING_H_
#define KITBINDER_PACKAGE_PACKAGE_SIGNING_H_

#include <optional>
#include <string>

namespace kb {

// What signing a package needs. The password lives only here, for one build: it is handed to
// the signing program on its standard input, never on a command line or in a file.
struct SigningRequest {
  std::string certificate;    // a PKCS#12 file holding the certificate and its private key
  std::string password;       // the PKCS#12 file's password (may be empty)
  std::string timestamp_url;  // an RFC 3161 time-stamp server; empty for none
  std::string description;    // the product's name, shown in Windows' signature details
};

// Signs the package at `package` with an Authenticode signature and its extended stream, by
// osslsigncode, and checks that the signature matches the package's contents. The signed
// package replaces the one at `package` only when both steps succeeded; on failure the file
// at `package` is left as it was and no other file stays behind. Returns why it failed, as a
// sentence for the user (naming osslsigncode when it is not installed), or nullopt.
std::optional<std::string> SignPackage(const std::string& package, const SigningRequest& request);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_PACKAGE_SIGNING_H_

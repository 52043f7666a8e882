// Packages signed with a certificate of a test authority made here with openssl: osslsigncode
// verifies them against that authority; a wrong password, a missing certificate and a missing
// osslsigncode fail with a message and leave the package and its folder as they were.
#include "package/package_signing.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "test_support/needs.h"
#include "test_support/run_command.h"
#include "test_support/temp_dir.h"

namespace kb {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

class PackageSigningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const auto missing = test::MissingTools({"osslsigncode"})) GTEST_SKIP() << *missing;
    const std::string commands =
        "(cd '" + dir_.path().string() +
        "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 "
        "-subj '/CN=Kitbinder Test CA' && openssl req -newkey rsa:2048 -nodes -keyout leaf.key "
        "-out leaf.csr -subj '/CN=Kitbinder Test Publisher' && openssl x509 -req -in leaf.csr "
        "-CA ca.pem -CAkey ca.key -CAcreateserial -out leaf.pem -days 2 && openssl pkcs12 "
        "-export -inkey leaf.key -in leaf.pem -certfile ca.pem -out leaf.p12 -passout "
        "pass:'pass word') 2>&1";
    int status = 0;
    const std::string output = test::RunCommand(commands, &status);
    ASSERT_EQ(status, 0) << output;
    fs::copy_file(fs::path(KITBINDER_BIN_DIR) / "template-en.msi", package_);
    request_ = {(dir_.path() / "leaf.p12").string(), "pass word", "", "Sample Tool"};
  }

  // What is in the folder of the package besides the files SetUp made.
  std::size_t FilesBesideThePackage() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(package_.parent_path()), fs::directory_iterator()));
  }

  test::TempDir dir_;
  fs::path package_ = dir_.path() / "Sample Tool.msi";
  SigningRequest request_;
};

TEST_F(PackageSigningTest, SignedPackageVerifiesAgainstTheAuthority) {
  const std::size_t files = FilesBesideThePackage();
  ASSERT_EQ(SignPackage(package_.string(), request_), std::nullopt);
  int status = 0;
  const std::string report =
      test::RunCommand("osslsigncode verify -CAfile '" + (dir_.path() / "ca.pem").string() +
                           "' -in '" + package_.string() + "' 2>&1",
                       &status);
  EXPECT_EQ(status, 0) << report;
  EXPECT_NE(report.find("Signature verification: ok"), std::string::npos) << report;
  EXPECT_NE(report.find("MsiDigitalSignatureEx"), std::string::npos) << report;
  EXPECT_EQ(FilesBesideThePackage(), files);
}

TEST_F(PackageSigningTest, FailuresNameTheirCauseAndKeepThePackage) {
  const std::string before = Contents(package_);
  const std::size_t files = FilesBesideThePackage();
  struct Case {
    const char* name;
    void (*change)(SigningRequest&);
    const char* message;
  };
  const Case cases[] = {
      {"wrong password", [](SigningRequest& r) { r.password = "guess"; }, "leaf.p12"},
      {"missing certificate", [](SigningRequest& r) { r.certificate += ".gone"; },
       "leaf.p12.gone cannot be opened"},
  };
  for (const Case& c : cases) {
    SigningRequest request = request_;
    c.change(request);
    const auto problem = SignPackage(package_.string(), request);
    ASSERT_TRUE(problem.has_value()) << c.name;
    EXPECT_NE(problem->find(c.message), std::string::npos) << c.name << ": " << *problem;
    EXPECT_EQ(Contents(package_), before) << c.name;
    EXPECT_EQ(FilesBesideThePackage(), files) << c.name;
  }
  const std::string path = std::getenv("PATH");
  setenv("PATH", dir_.path().c_str(), 1);
  const auto problem = SignPackage(package_.string(), request_);
  setenv("PATH", path.c_str(), 1);
  ASSERT_TRUE(problem.has_value());
  EXPECT_NE(problem->find("Debian package osslsigncode"), std::string::npos) << *problem;
  EXPECT_EQ(Contents(package_), before);
}

}  // namespace
}  // namespace kb

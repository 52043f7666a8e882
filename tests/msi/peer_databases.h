#ifndef KITBINDER_TESTS_MSI_PEER_DATABASES_H_
#define KITBINDER_TESTS_MSI_PEER_DATABASES_H_

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace kb::msi::test {

// Deterministic test bytes: `size` bytes drawn from `seed`.
std::vector<std::byte> TestBytes(std::size_t size, unsigned seed);
void WriteFile(const std::filesystem::path& path, const std::vector<std::byte>& data);
std::vector<std::byte> ReadFile(const std::filesystem::path& path);

// Makes `dir`/msibuild.msi with msitools' msibuild: a Property table and the streams
// "Binary.big" (10,000 bytes), "Binary.edge" (4,096 bytes) and "small" (100 bytes).
// Returns the path, empty when msibuild failed.
std::string MakeMsibuildDatabase(const std::filesystem::path& dir);

// Makes `dir`/wixl.msi with wixl from a one-file product with an embedded cabinet.
std::string MakeWixlDatabase(const std::filesystem::path& dir);

}  // namespace kb::msi::test

#endif  // KITBINDER_TESTS_MSI_PEER_DATABASES_H_

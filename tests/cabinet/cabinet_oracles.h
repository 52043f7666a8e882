#ifndef KITBINDER_TESTS_CABINET_CABINET_ORACLES_H_
#define KITBINDER_TESTS_CABINET_CABINET_ORACLES_H_

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

// Cabinets are judged by independent readers: cabextract and gcab, run as programs.
namespace kb::test {

// File name in the cabinet -> contents.
using FileSet = std::map<std::string, std::string>;

// `cabextract -t` exits 0 and reports no error (checksums and decompression of every file).
testing::AssertionResult CabextractTestsClean(const std::filesystem::path& cabinet);

// `cabextract` extracts exactly `expected` from the cabinet (and, for a set, the cabinets after
// it in its folder). Names are compared as stored, contents byte for byte.
testing::AssertionResult CabextractExtracts(const std::filesystem::path& cabinet,
                                            const FileSet& expected);

// `gcab -x` extracts exactly `expected`.
testing::AssertionResult GcabExtracts(const std::filesystem::path& cabinet,
                                      const FileSet& expected);

// `7z x` extracts exactly `expected` (7z reads LZX, which gcab does not).
testing::AssertionResult SevenZipExtracts(const std::filesystem::path& cabinet,
                                          const FileSet& expected);

// The first three of the above.
testing::AssertionResult ReadersAgree(const std::filesystem::path& cabinet,
                                      const FileSet& expected);

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);

// Reproducible bytes that do not compress.
std::string NoiseBytes(std::size_t n, std::uint32_t seed);
// Reproducible text that compresses well but is not one repeated pattern.
std::string TextBytes(std::size_t n, std::uint32_t seed);

}  // namespace kb::test

#endif  // KITBINDER_TESTS_CABINET_CABINET_ORACLES_H_

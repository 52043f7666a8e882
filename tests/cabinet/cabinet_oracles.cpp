#include "cabinet/cabinet_oracles.h"

#include <fstream>
#include <random>
#include <sstream>

#include "cabinet/run_program.h"
#include "test_support/temp_dir.h"

namespace kb::test {
namespace {

FileSet ReadTree(const std::filesystem::path& root) {
  FileSet files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      files[std::filesystem::relative(entry.path(), root).string()] = ReadBytes(entry.path());
    }
  }
  return files;
}

testing::AssertionResult SameFiles(std::string_view reader, const FileSet& got,
                                   const FileSet& expected) {
  for (const auto& [name, contents] : expected) {
    const auto it = got.find(name);
    if (it == got.end()) return testing::AssertionFailure() << reader << " did not give " << name;
    if (it->second != contents) {
      return testing::AssertionFailure()
             << reader << " gave different bytes for " << name << " (" << it->second.size()
             << " bytes, expected " << contents.size() << ")";
    }
  }
  for (const auto& [name, contents] : got) {
    if (!expected.contains(name)) {
      return testing::AssertionFailure() << reader << " gave an unexpected file " << name;
    }
  }
  return testing::AssertionSuccess();
}

// Runs `command` followed by a fresh folder and the cabinet, and compares what lands there.
testing::AssertionResult Extracts(std::string_view reader, std::vector<std::string> command,
                                  const std::filesystem::path& cabinet, const FileSet& expected) {
  TempDir into;
  command.push_back(into.path().string());
  command.push_back(cabinet.string());
  const ProgramResult run = RunProgram(command);
  if (run.exit_code != 0) {
    return testing::AssertionFailure()
           << reader << " exited " << run.exit_code << ": " << run.output << run.errors;
  }
  return SameFiles(reader, ReadTree(into.path()), expected);
}

}  // namespace

testing::AssertionResult CabextractTestsClean(const std::filesystem::path& cabinet) {
  const ProgramResult run = RunProgram({"cabextract", "-t", cabinet.string()});
  if (run.exit_code == 0 && run.output.find("All done, no errors.") != std::string::npos) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure()
         << "cabextract -t exited " << run.exit_code << ": " << run.output << run.errors;
}

testing::AssertionResult CabextractExtracts(const std::filesystem::path& cabinet,
                                            const FileSet& expected) {
  return Extracts("cabextract", {"cabextract", "-q", "-d"}, cabinet, expected);
}

testing::AssertionResult GcabExtracts(const std::filesystem::path& cabinet,
                                      const FileSet& expected) {
  return Extracts("gcab", {"gcab", "-x", "-C"}, cabinet, expected);
}

testing::AssertionResult SevenZipExtracts(const std::filesystem::path& cabinet,
                                          const FileSet& expected) {
  TempDir into;
  const ProgramResult run =
      RunProgram({"7z", "x", "-y", "-bd", "-o" + into.path().string(), cabinet.string()});
  if (run.exit_code != 0) {
    return testing::AssertionFailure() << "7z exited " << run.exit_code << ": " << run.output;
  }
  return SameFiles("7z", ReadTree(into.path()), expected);
}

testing::AssertionResult ReadersAgree(const std::filesystem::path& cabinet,
                                      const FileSet& expected) {
  if (auto clean = CabextractTestsClean(cabinet); !clean) return clean;
  if (auto extracted = CabextractExtracts(cabinet, expected); !extracted) return extracted;
  return GcabExtracts(cabinet, expected);
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string NoiseBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

std::string TextBytes(std::size_t n, std::uint32_t seed) {
  static constexpr std::string_view kWords[] = {"cabinet ",   "folder ",  "block ", "file ",
                                                "installer ", "package ", "data ",  "stream\n"};
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < n) text += kWords[random() % std::size(kWords)];
  text.resize(n);
  return text;
}

}  // namespace kb::test

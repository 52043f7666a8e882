// Runs a fuzz target's LLVMFuzzerTestOneInput on files, without libFuzzer, so that the seeds
// and the inputs of faults found and fixed are checked by every test run (under the sanitizers
// of the test build).
//   fuzz_replay_TARGET PATH...   (a folder stands for every file in it, in name order)
// Names each file before running it, so that a crash says which one it was. Exits 1 when a
// path is missing or an argument holds no file at all (a replay of nothing proves nothing).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

// The files `path` stands for; empty when it is missing or an empty folder.
std::vector<fs::path> FilesOf(const fs::path& path) {
  std::error_code error;
  if (!fs::is_directory(path, error)) {
    return fs::is_regular_file(path, error) ? std::vector<fs::path>{path} : std::vector<fs::path>{};
  }
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(path, error)) {
    if (entry.is_regular_file(error)) files.push_back(entry.path());
  }
  std::ranges::sort(files);
  return files;
}

bool Replay(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  if (!in && !in.eof()) return false;
  std::cerr << "replaying " << file.string() << '\n';
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: " << argv[0] << " PATH...\n";
    return 2;
  }
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const auto files = FilesOf(argv[i]);
    if (files.empty()) {
      std::cerr << argv[i] << ": no such file, or a folder without files\n";
      return 1;
    }
    for (const fs::path& file : files) {
      if (!Replay(file)) {
        std::cerr << file.string() << ": cannot be read\n";
        return 1;
      }
      ++count;
    }
  }
  std::cerr << "replayed " << count << " files without a fault\n";
  return 0;
}

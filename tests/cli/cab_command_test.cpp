#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "cabinet/cabinet_oracles.h"
#include "cabinet/cabinet_reader.h"
#include "cabinet/run_program.h"
#include "test_support/needs.h"
#include "test_support/temp_dir.h"

namespace kb::cli {
namespace {

namespace fs = std::filesystem;
using test::FileSet;
using test::ProgramResult;

class CabCommandTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const auto missing = kb::test::MissingTools({"cabextract", "gcab"}))
      GTEST_SKIP() << *missing;
  }
  CabCommandTest() { fs::create_directory(dir_.path() / "tmp"); }

  // Runs `kitbinder-cli cab ARGS...` in the test folder with its own temporary folder.
  ProgramResult Cab(std::vector<std::string> args, std::string tmpdir = "tmp") const {
    args.insert(args.begin(), {test::CliPath(), "cab"});
    return test::RunProgram(
        args, {.cwd = dir_.path(), .env = {{"TMPDIR", (dir_.path() / tmpdir).string()}}});
  }

  void Write(const FileSet& files) const {
    for (const auto& [name, contents] : files) test::WriteBytes(dir_.path() / name, contents);
  }

  fs::path Path(const std::string& name) const { return dir_.path() / name; }

  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::ranges::sort(names);
    return names;
  }

  test::TempDir dir_;
};

TEST_F(CabCommandTest, PacksFilesUnderTheirFinalComponent) {
  fs::create_directory(Path("sub"));
  const FileSet files = {{"a.txt", test::TextBytes(50000, 1)},
                         {"b.bin", test::NoiseBytes(70000, 2)}};
  test::WriteBytes(Path("a.txt"), files.at("a.txt"));
  test::WriteBytes(Path("sub/b.bin"), files.at("b.bin"));
  const ProgramResult run = Cab({"pkg", "a.txt", "sub/b.bin"});
  ASSERT_EQ(run.exit_code, 0) << run.errors;
  EXPECT_TRUE(run.output.starts_with("Compressing:     32768 -> ")) << run.output;
  EXPECT_NE(run.output.find("   placed file 'b.bin' (size 70000) on cabinet 'pkg1.cab'\n"),
            std::string::npos);
  EXPECT_TRUE(run.output.ends_with("\rCopying folder to cabinet: 100%      \r\n"));
  EXPECT_TRUE(test::ReadersAgree(Path("pkg1.cab"), files));
  EXPECT_FALSE(fs::exists(Path("pkg2.cab")));
  EXPECT_TRUE(fs::is_empty(Path("tmp")));
}

TEST_F(CabCommandTest, PlusStartsANewFolder) {
  Write({{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}});
  ASSERT_EQ(Cab({"pkg", "a.txt", "+", "b.txt", "c.txt"}).exit_code, 0);
  const std::optional<test::CabLayout> cab =
      test::ReadCabinetLayout(test::ReadBytes(Path("pkg1.cab")));
  ASSERT_TRUE(cab);
  ASSERT_EQ(cab->files.size(), 3u);
  EXPECT_EQ(cab->files[0].folder, 0);
  EXPECT_EQ(cab->files[1].folder, 1);
  EXPECT_EQ(cab->files[2].folder, 1);
  EXPECT_TRUE(
      test::ReadersAgree(Path("pkg1.cab"), {{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}}));
}

TEST_F(CabCommandTest, MaxSizeSpansASetThatCabextractReassembles) {
  FileSet files;
  for (int i = 0; i < 6; ++i) {
    files["f" + std::to_string(i) + ".bin"] = test::NoiseBytes(40000 + 1000 * i, i);
    files["t" + std::to_string(i) + ".txt"] = test::TextBytes(30000, 100 + i);
  }
  Write(files);
  std::vector<std::string> args = {"--max-size", "60000", "--threshold", "50000", "set"};
  for (const auto& [name, contents] : files) args.push_back(name);
  const ProgramResult run = Cab(args);
  ASSERT_EQ(run.exit_code, 0) << run.errors;
  int cabinets = 0;
  for (; fs::exists(Path("set" + std::to_string(cabinets + 1) + ".cab")); ++cabinets) {
    EXPECT_LE(fs::file_size(Path("set" + std::to_string(cabinets + 1) + ".cab")), 60000u);
  }
  EXPECT_GE(cabinets, 5);
  EXPECT_NE(run.output.find("(Above file is a later segment of a continued file)"),
            std::string::npos);
  EXPECT_TRUE(test::CabextractTestsClean(Path("set1.cab")));
  EXPECT_TRUE(test::CabextractExtracts(Path("set1.cab"), files));
}

TEST_F(CabCommandTest, ThresholdClosesFolders) {
  Write({{"a.bin", test::NoiseBytes(40000, 1)}, {"b.bin", test::NoiseBytes(40000, 2)}});
  ASSERT_EQ(Cab({"--threshold", "10000", "pkg", "a.bin", "b.bin"}).exit_code, 0);
  const std::optional<test::CabLayout> cab =
      test::ReadCabinetLayout(test::ReadBytes(Path("pkg1.cab")));
  ASSERT_TRUE(cab);
  EXPECT_EQ(cab->folders.size(), 2u);
}

TEST_F(CabCommandTest, CompressionNoneStoresTheFiles) {
  const std::string text = test::TextBytes(100000, 3);
  Write({{"a.txt", text}});
  ASSERT_EQ(Cab({"--compression", "none", "pkg", "a.txt"}).exit_code, 0);
  const std::optional<test::CabLayout> cab =
      test::ReadCabinetLayout(test::ReadBytes(Path("pkg1.cab")));
  ASSERT_TRUE(cab);
  ASSERT_EQ(cab->folders.size(), 1u);
  EXPECT_EQ(cab->folders[0].compression_type, 0);
  EXPECT_TRUE(test::CabextractExtracts(Path("pkg1.cab"), {{"a.txt", text}}));
}

TEST_F(CabCommandTest, BadUsageAndUnreadableInputExitWith2) {
  Write({{"a.txt", "a"}});
  fs::create_directory(Path("folder"));
  ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--max-size"},
      {"--max-size", "-1", "pkg", "a.txt"},
      {"--max-size", "4294967296", "pkg", "a.txt"},
      {"--threshold", "12k", "pkg", "a.txt"},
      {"--bogus", "1", "pkg", "a.txt"},
      {"--jobs", "0", "pkg", "a.txt"},
      {"--jobs", "257", "pkg", "a.txt"},
      {"--jobs", "two", "pkg", "a.txt"},
      {"--compression", "high", "pkg", "a.txt"},
      {"--compression"},
      {"dir/pkg", "a.txt"},
      {std::string(242, 'p'), "a.txt"},
      {"pkg", "missing.txt"},
      {"pkg", "folder"},
      {"pkg", "pipe"},  // refused at once, not waited on for a writer
      {"pkg"},          // a cabinet without files would be one extractors refuse
      {"pkg", "+", "+"},
  };
  for (const std::vector<std::string>& args : cases) {
    const ProgramResult run = Cab(args);
    EXPECT_EQ(run.exit_code, 2) << testing::PrintToString(args);
    EXPECT_TRUE(run.errors.starts_with("kitbinder-cli: ")) << run.errors;
  }
  EXPECT_FALSE(fs::exists(Path("pkg1.cab")));
}

TEST_F(CabCommandTest, FailedWorkExitsWith1AndSaysWhy) {
  Write({{"a.txt", "a"}});
  const ProgramResult run = Cab({"pkg", "a.txt"}, "no such folder");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.errors,
            "kitbinder-cli: cabinet creation failed: FCICreate() failed: code 4 [Could not create "
            "a temporary file]\n");
  EXPECT_FALSE(fs::exists(Path("pkg1.cab")));
}

// A maximum size without room for a data byte fails, says so, and takes back every cabinet the
// run wrote: none at all, one, or a hundred (the names grow until the headers fill the cabinet).
// The failed run is not made again: its progress shows once.
TEST_F(CabCommandTest, MaxSizeTooSmallSaysSoAndLeavesNoCabinet) {
  Write({{"f.bin", test::NoiseBytes(3000, 1)}});
  const std::vector<std::string> listing = Listing();
  const std::vector<std::vector<std::string>> cases = {
      {"--max-size", "60", "pkg", "f.bin"},
      {"--max-size", "100", "pkg", "f.bin"},
      {"--max-size", "110", "pkg110", "f.bin"},
  };
  for (const std::vector<std::string>& args : cases) {
    const ProgramResult run = Cab(args);
    EXPECT_EQ(run.exit_code, 1) << args[1];
    EXPECT_NE(run.errors.find("\nThe maximum cabinet size of " + args[1] +
                              " bytes is too small: a cabinet of that size has no room for data "
                              "beside its headers.\n"),
              std::string::npos)
        << run.errors;
    EXPECT_EQ(run.output.find("Compressing:"), run.output.rfind("Compressing:")) << run.output;
    EXPECT_EQ(Listing(), listing) << args[1];
  }
  const ProgramResult fits = Cab({"--max-size", "200", "pkg", "f.bin"});
  ASSERT_EQ(fits.exit_code, 0) << fits.errors;
  EXPECT_TRUE(test::CabextractExtracts(Path("pkg1.cab"), {{"f.bin", test::NoiseBytes(3000, 1)}}));
}

// Ended by a signal while it packs, even by SIGKILL, which runs no handler, `cab` leaves neither
// its staging temporaries (in the current folder when TMPDIR is not set: they have no name
// there) nor the cabinet it was writing.
TEST_F(CabCommandTest, KilledRunLeavesNoFilesOfItsOwn) {
  test::WriteBytes(Path("large.bin"), "");
  fs::resize_file(Path("large.bin"), 1L << 30);
  const std::vector<std::string> listing = Listing();
  std::vector<std::string> environment;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string_view text = *variable;
    if (!text.starts_with("TMPDIR=") && !text.starts_with("TMP=")) environment.emplace_back(text);
  }
  std::vector<char*> envp;
  for (std::string& text : environment) envp.push_back(text.data());
  envp.push_back(nullptr);
  std::string cli = test::CliPath();
  std::string command = "cd '" + dir_.path().string() + "' && exec '" + cli +
                        "' cab --max-size 100000000 pkg large.bin >/dev/null";
  std::vector<char*> argv = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), command.data(),
                             nullptr};
  for (const int signal : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), envp.data()), 0);
    // Wait until the run stages its data in the test folder, then end it.
    const auto staging = [&] {
      std::error_code error;
      for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        const std::string target = fs::read_symlink(fd.path(), error).string();
        if (target.starts_with(dir_.path().string()) && target.ends_with("(deleted)")) return true;
      }
      return false;
    };
    for (int i = 0; i < 2000 && !staging(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(staging());
    EXPECT_EQ(Listing(), listing) << "a staging file has a name";
    ASSERT_EQ(::kill(pid, signal), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_EQ(Listing(), listing);
  }
}

// Memory must not grow with the input, and eight compression workers stay within 64 MB and 2 MB
// each: a 1 GB file is packed in about the memory of a 1 MB one.
TEST_F(CabCommandTest, PeakMemoryDoesNotGrowWithTheInput) {
  constexpr long kGigabyte = 1L << 30;
  test::WriteBytes(Path("small.bin"), test::NoiseBytes(1 << 20, 1));
  {
    // Mostly zeros (a sparse file), with noise every 128 MB so that folders hold real work.
    test::WriteBytes(Path("large.bin"), "");
    fs::resize_file(Path("large.bin"), kGigabyte);
    std::FILE* f = std::fopen(Path("large.bin").c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    const std::string noise = test::NoiseBytes(1 << 20, 2);
    for (long at = 0; at < kGigabyte; at += 128L << 20) {
      std::fseek(f, at, SEEK_SET);
      std::fwrite(noise.data(), 1, noise.size(), f);
    }
    std::fclose(f);
  }
  const ProgramResult small = Cab({"--jobs", "8", "small", "small.bin"});
  const ProgramResult large = Cab({"--jobs", "8", "large", "large.bin"});
  ASSERT_EQ(small.exit_code, 0);
  ASSERT_EQ(large.exit_code, 0);
  EXPECT_LT(static_cast<double>(large.peak_rss_kb), 1.2 * static_cast<double>(small.peak_rss_kb))
      << "1 MB: " << small.peak_rss_kb << " kB, 1 GB: " << large.peak_rss_kb << " kB";
  EXPECT_LT(large.peak_rss_kb, (64 + 2 * 8) * 1024);
  EXPECT_TRUE(test::CabextractTestsClean(Path("large1.cab")));
}

}  // namespace
}  // namespace kb::cli

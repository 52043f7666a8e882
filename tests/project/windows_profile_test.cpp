// Windows' own profile reader, run under Wine, must read our project files exactly as we wrote
// them, and must read hand-written files as our reader does.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "project/file_contents.h"
#include "project/profile_reader.h"
#include "project/project_settings.h"
#include "test_support/needs.h"
#include "test_support/temp_dir.h"

namespace kb {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

struct Query {
  fs::path file;
  std::string section;
  std::string key;
  std::string expected;
};

std::string WindowsPath(const fs::path& path) {
  std::string text = "Z:" + path.string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

// The values Windows' reader gives for `queries`, or nullopt when the reader could not be
// built or run (both tools are installed by scripts/bootstrap).
std::optional<std::vector<std::string>> ReadWithWindows(const fs::path& dir,
                                                        const std::vector<Query>& queries) {
  const fs::path source = fs::path(KITBINDER_SOURCE_DIR) / "tests/project/windows_profile_reader.c";
  const fs::path program = dir / "reader.exe";
  const std::string compile =
      "x86_64-w64-mingw32-gcc -O1 -o '" + program.string() + "' '" + source.string() + "'";
  if (std::system(compile.c_str()) != 0) return std::nullopt;

  std::ofstream list(dir / "queries.txt", std::ios::binary);
  for (const Query& q : queries) {
    list << WindowsPath(q.file) << '\t' << q.section << '\t' << q.key << '\n';
  }
  list.close();
  // A fresh Wine prefix in `dir`; its server is stopped before the folder goes.
  const std::string prefix = "WINEPREFIX='" + (dir / "prefix").string() + "' ";
  const std::string run = prefix + "WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' wine '" +
                          program.string() + "' '" + WindowsPath(dir / "queries.txt") + "' '" +
                          WindowsPath(dir / "values.txt") + "' >/dev/null 2>&1";
  const int status = std::system(run.c_str());
  std::system((prefix + "wineserver -k >/dev/null 2>&1").c_str());
  if (status != 0) return std::nullopt;

  std::vector<std::string> values;
  std::ifstream in(dir / "values.txt", std::ios::binary);
  for (std::string line; std::getline(in, line);) values.push_back(FromHex(line));
  return values;
}

// A project whose texts a careless writer would lose: blanks and quotes at the ends, "=",
// section-like text, non-ASCII characters.
std::vector<Query> SaveAwkwardProject(const fs::path& path) {
  CProjectSettings project;
  project.SetProperties("  My Tool  ", "\"1.0\"", "'{code}'", "a=b", "[files]", "\tAuthor",
                        "http://example.com/?q=\"x\"", "C:\\Program Files\\eula.rtf", "\"",
                        "Caf\u00E9 \u2014 \u65E5\u672C \U0001F600", true);
  project.AddFileEntry({"C:\\My Files\\tool.exe", " label ", "'icon.ico'", "_ID", "_C", "G", true,
                        false, "", "", "", false});
  project.AddIcon("  spaced.ico");
  EXPECT_TRUE(project.Save(path.string()));

  std::vector<Query> queries;
  const auto expect = [&](std::string section, std::string key, std::string value) {
    queries.push_back({path, std::move(section), std::move(key), std::move(value)});
  };
  expect("properties", "title", project.title);
  expect("properties", "version", project.version);
  expect("properties", "productcode", project.productcode);
  expect("properties", "packagecode", project.packagecode);
  expect("properties", "upgradecode", project.upgradecode);
  expect("properties", "author", project.author);
  expect("properties", "supporturl", project.supporturl);
  expect("properties", "eulafile", project.eulafile);
  expect("properties", "bannerfile", project.bannerfile);
  expect("properties", "comments", project.comments);
  expect("properties", "noquestions", "true");
  expect("files", "file0path", project.files[0].path);
  expect("files", "file0shortcutname", project.files[0].shortcutname);
  expect("files", "file0shortcuticon", project.files[0].shortcuticon);
  expect("files", "file0setkdir", "true");
  expect("icons", "icon0path", project.icons[0].path);
  return queries;
}

using Keys = std::vector<std::pair<std::string, std::string>>;

// Writes `text` to `path` and asks for `keys`; the values expected are our reader's.
std::vector<Query> WriteHandMadeFile(const fs::path& path, const std::string& text,
                                     const Keys& keys) {
  test::WriteBytes(path, text);
  const ProfileReader ours = ProfileReader::FromFile(path.string());
  std::vector<Query> queries;
  for (const auto& [section, key] : keys) {
    queries.push_back({path, section, key, ours.GetString(section, key)});
  }
  return queries;
}

// A file exercising each reading rule.
std::vector<Query> WriteRulesFile(const fs::path& path) {
  const std::string text =
      "[Properties]\r\n"
      "Title = \"  spaced  \" \r\n"
      "AUTHOR='single'\r\n"
      "author=second\r\n"
      "productcode=\"mismatched'\r\n"
      "packagecode=\"\r\n"
      "upgradecode=a=b=c\r\n"
      "version=\t\v tabbed \f\t\r\n"
      "comments=\"\"\r\n"
      "bare\r\n"
      "bare=after\r\n"
      "  [ files ]  trailing text\r\n"
      "file0path=C:\\x\\y.exe\r\n"
      "File0PATH=ignored\r\n"
      "ansi=caf\xE9 \x80\r\n"
      "nul=before\0after\r\n"
      "cr=one\rcr2=two\n"
      "long="s +
      std::string(3000, 'x') +
      "\r\n"
      "[PROPERTIES]\r\n"
      "supporturl=in a repeated section\r\n";
  return WriteHandMadeFile(path, text,
                           {{"properties", "title"},
                            {"properties", "author"},
                            {"properties", "productcode"},
                            {"properties", "packagecode"},
                            {"properties", "upgradecode"},
                            {"properties", "version"},
                            {"properties", "comments"},
                            {"properties", "bare"},
                            {"properties", "supporturl"},
                            {"files", "file0path"},
                            {"files", "ansi"},
                            {"files", "nul"},
                            {"files", "cr"},
                            {"files", "cr2"},
                            {"files", "long"},
                            {"missing", "title"},
                            {"files", "missing"}});
}

// Windows reads a file with a byte order mark as UTF-8.
std::vector<Query> WriteFileWithByteOrderMark(const fs::path& path) {
  return WriteHandMadeFile(path, "\xEF\xBB\xBF[properties]\r\ntitle=caf\xC3\xA9\r\n",
                           {{"properties", "title"}});
}

TEST(WindowsProfileReaderTest, AgreesWithOurWriterAndReader) {
  if (const auto missing = kb::test::MissingTools({"wine", "x86_64-w64-mingw32-gcc"}))
    GTEST_SKIP() << *missing;
  test::TempDir dir;
  std::vector<Query> queries = SaveAwkwardProject(dir.path() / "saved.kbr");
  for (Query& q : WriteRulesFile(dir.path() / "rules.kbr")) queries.push_back(std::move(q));
  for (Query& q : WriteFileWithByteOrderMark(dir.path() / "bom.kbr")) queries.push_back(q);

  const auto values = ReadWithWindows(dir.path(), queries);
  ASSERT_TRUE(values.has_value()) << "could not build or run the reader under Wine";
  ASSERT_EQ(values->size(), queries.size());
  for (std::size_t i = 0; i < queries.size(); ++i) {
    const Query& q = queries[i];
    // Windows gives the bytes of the file; ours are decoded to UTF-8 from the same bytes.
    EXPECT_EQ(platform::Utf8OrWindows1252((*values)[i]), q.expected)
        << q.file.filename() << " [" << q.section << "] " << q.key;
  }
}

}  // namespace
}  // namespace kb

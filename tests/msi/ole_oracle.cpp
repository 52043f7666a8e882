#include "ole_oracle.h"

#include <stdio.h>
#include <sys/wait.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>

namespace kb::msi::test {
namespace {

// Paths are passed as hexadecimal UTF-16 units so that no name is bent by an encoding.
constexpr const char* kScript = R"PY(
import olefile, sys, zlib
path = sys.argv[1]
try:
    ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_POTENTIAL)
    def hexname(parts):
        return "".join("%04x" % ord(c) for c in "/".join(parts))
    out = ["C " + ole.root.clsid.replace("-", "").lower()]
    for parts in ole.listdir(streams=True, storages=True):
        name = "/".join(parts)
        if ole.get_type(name) == olefile.STGTY_STORAGE:
            out.append("T " + hexname(parts))
        else:
            data = ole.openstream(name).read()
            if len(data) != ole.get_size(name):
                raise Exception("short stream " + name)
            out.append("S %s %d %d" % (hexname(parts), len(data), zlib.crc32(data)))
    def walk(sid, problems):
        # Returns the black height and the sort keys of the sibling tree at sid, in order.
        if sid == 0xFFFFFFFF:
            return 1, []
        e = ole.direntries[sid]
        lh, lk = walk(e.sid_left, problems)
        rh, rk = walk(e.sid_right, problems)
        if lh != rh:
            problems.append("black heights differ below " + e.name)
        for c in (e.sid_left, e.sid_right):
            if e.color == 0 and c != 0xFFFFFFFF and ole.direntries[c].color == 0:
                problems.append("red child of red " + e.name)
        return lh + (e.color == 1), lk + [(len(e.name), e.name.upper())] + rk
    problems = []
    top = ole.direntries[0].sid_child
    _, keys = walk(top, problems)
    if keys != sorted(set(keys)):
        problems.append("siblings out of order")
    if top != 0xFFFFFFFF and ole.direntries[top].color == 0:
        problems.append("red tree root")
    out.append("B " + "; ".join(problems).replace(" ", "_"))
    if ole.parsing_issues:
        raise Exception(repr(ole.parsing_issues))
    print("\n".join(out))
except Exception as e:
    print("E " + repr(e).replace("\n", " "))
)PY";

std::u16string FromHex(const std::string& hex) {
  std::u16string s;
  for (std::size_t i = 0; i + 4 <= hex.size(); i += 4) {
    s.push_back(static_cast<char16_t>(std::stoul(hex.substr(i, 4), nullptr, 16)));
  }
  return s;
}

// The Microsoft form of a GUID (first three groups little-endian) of the stored bytes.
std::string ClsidText(const Clsid& c) {
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string text;
  char buf[3];
  for (int i : kOrder) {
    std::snprintf(buf, sizeof buf, "%02x", c[i]);
    text += buf;
  }
  return text;
}

}  // namespace

std::uint32_t Crc(const std::vector<std::byte>& data) {
  return static_cast<std::uint32_t>(
      ::crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

void PrintTo(const Listing& listing, std::ostream* out) {
  const auto narrow = [](const std::u16string& s) {
    std::string n;
    for (char16_t c : s) n += c < 0x80 ? std::string(1, static_cast<char>(c)) : "?";
    return n;
  };
  *out << "clsid " << listing.clsid << ";";
  for (const auto& [name, s] : listing.streams) {
    *out << " " << narrow(name) << ":" << s.size << ":" << s.crc;
  }
  for (const auto& name : listing.storages) *out << " [" << narrow(name) << "]";
}

// Reads the line format both listers print.
Listing ParseListing(const std::string& output, std::string* error) {
  Listing listing;
  std::istringstream lines(output);
  std::string kind;
  while (lines >> kind) {
    std::string rest;
    if (kind == "E") {
      std::getline(lines, rest);
      *error += rest;
    } else if (kind == "B") {
      std::getline(lines, listing.root_tree_problems);
      listing.root_tree_problems.erase(0, 1);
    } else if (kind == "C") {
      lines >> listing.clsid;
    } else if (kind == "T") {
      lines >> rest;
      listing.storages.push_back(FromHex(rest));
    } else if (kind == "S") {
      Listing::Stream s;
      lines >> rest >> s.size >> s.crc;
      listing.streams[FromHex(rest)] = s;
    }
  }
  std::sort(listing.storages.begin(), listing.storages.end());
  return listing;
}

Listing ListWithOlefile(const std::string& path, std::string* error) {
  int status = 0;
  const std::string output =
      RunCommand("/usr/bin/python3 -c '" + std::string(kScript) + "' '" + path + "'", &status);
  error->clear();
  if (status != 0) *error = "python3 failed: " + output;
  return ParseListing(output, error);
}

std::string WindowsPath(const std::string& path) {
  std::string windows_path = "Z:" + path;
  std::replace(windows_path.begin(), windows_path.end(), '/', '\\');
  return windows_path;
}

std::string RunWindowsProgram(const std::string& source, const std::string& flags,
                              const std::string& arguments, const std::string& work_dir,
                              std::string* error) {
  error->clear();
  const std::string exe = work_dir + "/" + std::filesystem::path(source).stem().string() + ".exe";
  int status = 0;
  const std::string built =
      RunCommand("x86_64-w64-mingw32-gcc -O1 '" KITBINDER_SOURCE_DIR "/tests/msi/" + source +
                     "' -o '" + exe + "' " + flags + " 2>&1",
                 &status);
  if (status != 0) {
    *error = "cannot build " + source + ": " + built;
    return {};
  }
  const std::string prefix = "WINEPREFIX='" + work_dir + "/prefix' ";
  const std::string output =
      RunCommand(prefix + "WINEDEBUG=-all " + "WINEDLLOVERRIDES='mscoree,mshtml=' wine '" + exe +
                     "' " + arguments + " 2>/dev/null",
                 &status);
  int stopped = 0;
  RunCommand(prefix + "wineserver -w 2>/dev/null", &stopped);
  if (status != 0) *error = "wine failed: " + output;
  return output;
}

Listing ListWithWine(const std::string& path, const std::string& work_dir, std::string* error) {
  const std::string output = RunWindowsProgram("wine_storage_lister.c", "-municode -lole32 -luuid",
                                               "'" + WindowsPath(path) + "'", work_dir, error);
  return ParseListing(output, error);
}

Listing ListWithUs(CompoundFile& file) {
  Listing listing;
  listing.clsid = ClsidText(file.clsid());
  for (const std::u16string& name : file.StreamNames()) {
    StorageError error = StorageError::kNone;
    const auto data = file.ReadWholeStream(name, 1u << 30, &error);
    if (!data) continue;
    listing.streams[name] = {data->size(), Crc(*data)};
  }
  listing.storages = file.StorageNames();
  std::sort(listing.storages.begin(), listing.storages.end());
  return listing;
}

}  // namespace kb::msi::test

#ifndef KITBINDER_PROJECT_PROFILE_READER_H_
#define KITBINDER_PROJECT_PROFILE_READER_H_

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

// Reads a profile (INI) file by the rules of the Windows profile functions, so that project
// files written by either program read the same:
// - a line "[name]" starts section `name`; text after the "]" is ignored, blanks around the
//   name are not part of it; a section named again later is ignored, as Windows ignores it;
// - any other line is a key: the text before its first "=" (the whole line when it has none);
// - section and key names match without regard to ASCII letter case;
// - the first line of a key in its section counts, later ones are ignored;
// - a value is the text after the first "=", up to any NUL byte, with leading and trailing
//   blanks (space, tab, vertical tab, form feed) removed, then one pair of enclosing double or
//   single quotes removed;
// - a value is cut to its first 2047 bytes (the size of the Windows reader's buffer), and never
//   inside a UTF-8 character;
// - lines end in CR LF, LF or CR; a leading UTF-8 byte order mark is skipped.
// Values are UTF-8; a value that is not valid UTF-8 comes from a file written on Windows and
// is read as Windows-1252.
class ProfileReader {
 public:
  // The longest value in bytes, as stored in the file.
  static constexpr std::size_t kMaxValueBytes = 2047;
  // The characters trimmed around names and values.
  static constexpr std::string_view kBlanks = " \t\v\f";

  // An empty profile: every key reads as empty text.
  ProfileReader() = default;

  // Parses `text`, the whole contents of a profile file. Any bytes are accepted.
  explicit ProfileReader(std::string_view text);

  // Reads the file at `path`. A missing or unreadable file, and anything but a regular file (a
  // folder, a pipe that would wait for a writer), reads as an empty profile.
  static ProfileReader FromFile(const std::string& path);

  // The value of `key` in `section`; empty text when the section or the key is missing.
  std::string GetString(std::string_view section, std::string_view key) const;

  // The names of the keys in `section`, in lower case, in ASCII order; none when the section is
  // missing.
  std::vector<std::string> Keys(std::string_view section) const;

  // Makes `key` of `section` read as `value` (taken as it is: no blanks or quotes removed),
  // whatever the file said.
  void Set(std::string_view section, std::string_view key, std::string value);

 private:
  using Section = std::map<std::string, std::string, std::less<>>;

  // Keys of the named section, or nullptr when the section was seen before and is ignored.
  Section* StartSection(std::string_view name);
  static void AddKey(Section& section, std::string_view line);

  // Keyed by lower-case name; keys before the first section header belong to "".
  std::map<std::string, Section, std::less<>> sections_;
};

}  // namespace kb

#endif  // KITBINDER_PROJECT_PROFILE_READER_H_

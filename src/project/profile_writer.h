#ifndef KITBINDER_PROJECT_PROFILE_WRITER_H_
#define KITBINDER_PROJECT_PROFILE_WRITER_H_

#include <string>
#include <string_view>
#include <vector>

namespace kb {

// Builds a profile (INI) file in memory and writes it in one piece. Lines end in CR LF, text
// is written as given (UTF-8). Every value is written so that a profile reader, ours
// (ProfileReader) or Windows', reads it back unchanged:
// - a value that starts or ends with a blank, or that starts and ends with the same quote
//   character, is written inside one pair of double quotes, which the reader removes again;
// - a line break cannot be stored, so each CR or LF in a value is written as a space.
class ProfileWriter {
 public:
  // Adds the line `key`=`value` at the end of `section`. A section is written after those
  // added before it, starting with the call that first names it.
  // REQUIRES: `section` is spelled the same way in every call; `key` holds no "=", no line
  // break and no leading or trailing blank, and is not yet in `section`.
  void SetString(std::string_view section, std::string_view key, std::string_view value);

  // Writes the file to `path` atomically. When `path` is a symbolic link, the file the link
  // leads to is written (in its own folder) and the link stays. Returns false when it cannot be
  // written (missing or read-only folder, disk full, a loop of links); any file already at
  // `path` is then left as it was.
  bool WriteTo(const std::string& path) const;

 private:
  struct Section {
    std::string name;
    std::string lines;
  };

  std::vector<Section> sections_;
};

}  // namespace kb

#endif  // KITBINDER_PROJECT_PROFILE_WRITER_H_

#ifndef KITBINDER_PACKAGE_LICENSE_TEXT_H_
#define KITBINDER_PACKAGE_LICENSE_TEXT_H_

#include <cstddef>
#include <string>

namespace kb {

// The most licence text a package's licence control receives, in characters.
inline constexpr std::size_t kMaxLicenseTextLength = 32000;

// The licence file at `path` as the licence dialog shows it: read as text (CR LF becomes LF;
// a Ctrl-Z byte or a zero byte ends it), its first kMaxLicenseTextLength characters, in UTF-8
// (a file that is not valid UTF-8 is read as Windows-1252). Rich Text Format markup is kept.
// A file that cannot be read gives empty text.
std::string ReadLicenseText(const std::string& path);

}  // namespace kb

#endif  // KITBINDER_PACKAGE_LICENSE_TEXT_H_

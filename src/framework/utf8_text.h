#ifndef KITBINDER_FRAMEWORK_UTF8_TEXT_H_
#define KITBINDER_FRAMEWORK_UTF8_TEXT_H_

#include <QString>
#include <string_view>

namespace kb {

// The core libraries speak UTF-8 in std::string; the windows show QString. `text` may hold
// embedded NULs: its whole length is converted.
inline QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_UTF8_TEXT_H_

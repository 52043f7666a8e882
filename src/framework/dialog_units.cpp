#include "framework/dialog_units.h"

#include <QFontMetrics>

namespace kb {
namespace {

constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kLetterCount = 52;

int Scale(int units, int base, int divisor) {
  return (units * base + divisor / 2) / divisor;
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  char_width_ =
      (metrics.horizontalAdvance(QLatin1String(kLetters)) + kLetterCount / 2) / kLetterCount;
  char_height_ = metrics.height();
}

QRect DialogUnits::Map(int x, int y, int width, int height) const {
  return QRect(Scale(x, char_width_, 4), Scale(y, char_height_, 8), Scale(width, char_width_, 4),
               Scale(height, char_height_, 8));
}

}  // namespace kb

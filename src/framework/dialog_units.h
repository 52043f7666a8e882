#ifndef KITBINDER_FRAMEWORK_DIALOG_UNITS_H_
#define KITBINDER_FRAMEWORK_DIALOG_UNITS_H_

#include <QFont>
#include <QRect>

namespace kb {

// Places given in dialog units, turned into pixels for a dialog's font the way Windows does
// it: a horizontal unit is a quarter of the font's average character width (the mean width of
// "A" to "Z" and "a" to "z"), a vertical unit an eighth of its height. A dialog laid out this
// way keeps its proportions in any font.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  // The pixel rectangle of the place (x, y, width, height) in dialog units.
  QRect Map(int x, int y, int width, int height) const;

 private:
  int char_width_;
  int char_height_;
};

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_DIALOG_UNITS_H_

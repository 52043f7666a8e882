#include "app/hyperlink_static.h"

#include <QMouseEvent>

namespace kb {

CHyperlinkStatic::CHyperlinkStatic(const QString& text, QWidget* parent) : QLabel(text, parent) {
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  setCursor(Qt::PointingHandCursor);
  setTextFormat(Qt::PlainText);
}

void CHyperlinkStatic::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
      onClick) {
    onClick();
  }
}

}  // namespace kb

#ifndef KITBINDER_APP_HYPERLINK_STATIC_H_
#define KITBINDER_APP_HYPERLINK_STATIC_H_

#include <QLabel>
#include <functional>

namespace kb {

// A text shown as a web link: underlined in the system's text colour, with the hand cursor;
// a click with the left button runs `onClick`.
class CHyperlinkStatic : public QLabel {
 public:
  CHyperlinkStatic(const QString& text, QWidget* parent);

  std::function<void()> onClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace kb

#endif  // KITBINDER_APP_HYPERLINK_STATIC_H_

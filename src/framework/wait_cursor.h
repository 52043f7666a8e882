#ifndef KITBINDER_FRAMEWORK_WAIT_CURSOR_H_
#define KITBINDER_FRAMEWORK_WAIT_CURSOR_H_

#include <QApplication>

namespace kb {

// Shows the wait cursor over the whole program for the life of the object, on every path out
// of the scope that holds it. Guards nest.
class CWaitCursor {
 public:
  CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_WAIT_CURSOR_H_

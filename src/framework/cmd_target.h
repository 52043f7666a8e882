#ifndef KITBINDER_FRAMEWORK_CMD_TARGET_H_
#define KITBINDER_FRAMEWORK_CMD_TARGET_H_

namespace kb {

// Something that handles commands by number. The main frame offers every command to the view,
// the document, itself and the application, in that order, until one takes it; so a command
// is handled where its data lives, whichever menu item, key or button sent it.
class CCmdTarget {
 public:
  virtual ~CCmdTarget() = default;

  // Runs the handler of command `id` and returns true, or returns false when this object has
  // none.
  virtual bool OnCmdMsg(int id) = 0;
};

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_CMD_TARGET_H_

#ifndef KITBINDER_FRAMEWORK_DATA_EXCHANGE_H_
#define KITBINDER_FRAMEWORK_DATA_EXCHANGE_H_

#include <string>
#include <utility>
#include <vector>

class QAbstractButton;
class QLineEdit;
class QPlainTextEdit;

namespace kb {

// One pass of data exchange between a window's controls and the members bound to them. A
// window lists its bindings once, in DoDataExchange, and every pass walks that list in the
// pass's direction. Texts are UTF-8 in the members.
//
// A kRemember pass copies nothing: it notes each bound member's value so that Restore can put
// it back later (a dialog's Cancel leaves its members as they were before it opened).
class CDataExchange {
 public:
  enum class Direction { kControlsToMembers, kMembersToControls, kRemember };

  explicit CDataExchange(Direction direction) : direction_(direction) {}

  // The direction of UpdateData(save_and_validate): true reads the controls.
  static Direction ForUpdateData(bool save_and_validate) {
    return save_and_validate ? Direction::kControlsToMembers : Direction::kMembersToControls;
  }

  // Binds the text of `box` to `value`.
  void Text(QLineEdit* box, std::string& value);
  void Text(QPlainTextEdit* box, std::string& value);
  // Binds the checked state of `box` to `value`.
  void Check(QAbstractButton* box, bool& value);

  // Puts back every value a kRemember pass noted.
  // REQUIRES: the bound members outlive this object.
  void Restore() const;

  Direction direction() const { return direction_; }

 private:
  Direction direction_;
  std::vector<std::pair<std::string*, std::string>> remembered_texts_;
  std::vector<std::pair<bool*, bool>> remembered_flags_;
};

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_DATA_EXCHANGE_H_

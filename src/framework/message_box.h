#ifndef KITBINDER_FRAMEWORK_MESSAGE_BOX_H_
#define KITBINDER_FRAMEWORK_MESSAGE_BOX_H_

#include <QString>

class QWidget;

namespace kb {

// The program's message boxes: modal, captioned with the application's name, centred on
// `owner` (or on the active window when `owner` is null).

// What a message tells: news, a warning, or an error (a failure or a refusal).
enum class MessageIcon { kInformation, kWarning, kError };

// Shows `text` with an OK button and the icon of `icon`. Returns IDOK.
int AfxMessageBox(const QString& text, QWidget* owner = nullptr,
                  MessageIcon icon = MessageIcon::kInformation);

// Shows `text` with OK and a second button, `offer` (in the box's Open button's place), for a
// step the user may take next. True when the user chose the offer; Escape and closing the box
// answer OK.
bool AfxMessageBoxWithOffer(const QString& text, const QString& offer, QWidget* owner = nullptr);

// Asks `question` with Yes and No. True for Yes; Escape and closing the box answer No.
bool AskYesNo(const QString& question, QWidget* owner = nullptr);

enum class SaveAnswer { kYes, kNo, kCancel };

// Asks "Save changes to <name>?" with Yes, No and Cancel. Escape and closing the box answer
// kCancel.
SaveAnswer AskToSaveChanges(const QString& name, QWidget* owner = nullptr);

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_MESSAGE_BOX_H_

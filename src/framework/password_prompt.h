#ifndef KITBINDER_FRAMEWORK_PASSWORD_PROMPT_H_
#define KITBINDER_FRAMEWORK_PASSWORD_PROMPT_H_

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace kb {

// Asks the user for a password with `prompt`, the typed text hidden, in a dialog titled
// `caption` over `owner`. Returns nullopt when the user cancels. The answer is kept nowhere.
std::optional<QString> AskPassword(QWidget* owner, const QString& caption, const QString& prompt);

// What answers AskPassword in the user's place in a test: it receives the prompt.
using PasswordAnswer = std::function<std::optional<QString>(const QString& prompt)>;

// Makes `answer` answer every later request instead of the dialog; an empty function brings
// the dialog back.
void InstallPasswordAnswer(PasswordAnswer answer);

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_PASSWORD_PROMPT_H_

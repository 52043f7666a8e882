#include "framework/password_prompt.h"

#include <QInputDialog>
#include <QLineEdit>
#include <utility>

namespace kb {
namespace {

PasswordAnswer& InstalledAnswer() {
  static PasswordAnswer answer;
  return answer;
}

}  // namespace

std::optional<QString> AskPassword(QWidget* owner, const QString& caption, const QString& prompt) {
  if (const PasswordAnswer& answer = InstalledAnswer()) return answer(prompt);
  bool accepted = false;
  const QString password =
      QInputDialog::getText(owner, caption, prompt, QLineEdit::Password, QString(), &accepted);
  if (!accepted) return std::nullopt;
  return password;
}

void InstallPasswordAnswer(PasswordAnswer answer) {
  InstalledAnswer() = std::move(answer);
}

}  // namespace kb

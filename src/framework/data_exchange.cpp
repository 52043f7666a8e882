#include "framework/data_exchange.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace kb {

void CDataExchange::Text(QLineEdit* box, std::string& value) {
  switch (direction_) {
    case Direction::kControlsToMembers:
      value = box->text().toStdString();
      break;
    case Direction::kMembersToControls:
      box->setText(QString::fromStdString(value));
      break;
    case Direction::kRemember:
      remembered_texts_.emplace_back(&value, value);
      break;
  }
}

void CDataExchange::Text(QPlainTextEdit* box, std::string& value) {
  switch (direction_) {
    case Direction::kControlsToMembers:
      value = box->toPlainText().toStdString();
      break;
    case Direction::kMembersToControls:
      // Texts may carry Windows line ends; the box shows one line break for each.
      box->setPlainText(QString::fromStdString(value).replace("\r\n", "\n"));
      break;
    case Direction::kRemember:
      remembered_texts_.emplace_back(&value, value);
      break;
  }
}

void CDataExchange::Check(QAbstractButton* box, bool& value) {
  switch (direction_) {
    case Direction::kControlsToMembers:
      value = box->isChecked();
      break;
    case Direction::kMembersToControls:
      box->setChecked(value);
      break;
    case Direction::kRemember:
      remembered_flags_.emplace_back(&value, value);
      break;
  }
}

void CDataExchange::Restore() const {
  for (const auto& [member, value] : remembered_texts_) *member = value;
  for (const auto& [member, value] : remembered_flags_) *member = value;
}

}  // namespace kb

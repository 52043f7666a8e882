#include "framework/message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

#include "framework/standard_ids.h"

namespace kb {
namespace {

QWidget* OwnerOrActive(QWidget* owner) {
  return owner ? owner : QApplication::activeWindow();
}

}  // namespace

int AfxMessageBox(const QString& text, QWidget* owner, MessageIcon icon) {
  constexpr QMessageBox::Icon kIcons[] = {QMessageBox::Information, QMessageBox::Warning,
                                          QMessageBox::Critical};
  QMessageBox box(kIcons[static_cast<int>(icon)], QApplication::applicationName(), text,
                  QMessageBox::Ok, OwnerOrActive(owner));
  box.exec();
  return IDOK;
}

bool AfxMessageBoxWithOffer(const QString& text, const QString& offer, QWidget* owner) {
  QMessageBox box(QMessageBox::Information, QApplication::applicationName(), text,
                  QMessageBox::Ok | QMessageBox::Open, OwnerOrActive(owner));
  box.button(QMessageBox::Open)->setText(offer);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Ok);
  return box.exec() == QMessageBox::Open;
}

bool AskYesNo(const QString& question, QWidget* owner) {
  QMessageBox box(QMessageBox::Question, QApplication::applicationName(), question,
                  QMessageBox::Yes | QMessageBox::No, OwnerOrActive(owner));
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

SaveAnswer AskToSaveChanges(const QString& name, QWidget* owner) {
  QMessageBox box(QMessageBox::Warning, QApplication::applicationName(),
                  QStringLiteral("Save changes to %1?").arg(name),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, OwnerOrActive(owner));
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return SaveAnswer::kYes;
    case QMessageBox::No:
      return SaveAnswer::kNo;
    default:
      return SaveAnswer::kCancel;
  }
}

}  // namespace kb

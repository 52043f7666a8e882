#include "framework/field_mark.h"

#include <QAction>
#include <QLineEdit>
#include <QStyle>

namespace kb {
namespace {

constexpr char kMarkName[] = "fieldMark";

QAction* Mark(const QLineEdit* box) {
  for (QAction* action : box->actions()) {
    if (action->objectName() == QLatin1String(kMarkName)) return action;
  }
  return nullptr;
}

}  // namespace

void MarkField(QLineEdit* box, const QString& problem) {
  QAction* mark = Mark(box);
  if (mark == nullptr) {
    if (problem.isEmpty()) return;
    mark = box->addAction(box->style()->standardIcon(QStyle::SP_MessageBoxWarning),
                          QLineEdit::TrailingPosition);
    mark->setObjectName(QLatin1String(kMarkName));
  }
  mark->setToolTip(problem);
  mark->setVisible(!problem.isEmpty());
  box->setToolTip(problem);
}

QString FieldMark(const QLineEdit* box) {
  const QAction* mark = Mark(box);
  return mark && mark->isVisible() ? mark->toolTip() : QString();
}

}  // namespace kb

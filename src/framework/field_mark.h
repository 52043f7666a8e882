#ifndef KITBINDER_FRAMEWORK_FIELD_MARK_H_
#define KITBINDER_FRAMEWORK_FIELD_MARK_H_

#include <QString>

class QLineEdit;

namespace kb {

// A warning sign at the end of an edit box whose value will be refused later, with the reason
// as the sign's and the box's tooltip. It only informs: the user goes on typing as before.

// Marks `box` with `problem`; empty text takes the mark away.
void MarkField(QLineEdit* box, const QString& problem);

// The problem `box` is marked with; empty when it bears no mark.
QString FieldMark(const QLineEdit* box);

}  // namespace kb

#endif  // KITBINDER_FRAMEWORK_FIELD_MARK_H_

#pragma once
// What assistive technology hears of the painted widgets that Qt knows nothing about: a role chosen
// per widget (a lamp or a painted line is text, a row is a list item, a code is a picture) and, for rows,
// whether they are the selected one. A role must be set before the widget is first asked for.
#include <QAccessible>

class QWidget;

namespace LookAccessible {

void setRole(QWidget* widget, QAccessible::Role role);
// Marks the widget selectable and tells listeners when `selected` changes.
void setSelected(QWidget* widget, bool selected);

} // namespace LookAccessible

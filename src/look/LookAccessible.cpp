#include "LookAccessible.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QWidget>

namespace {

const char* const roleProperty = "lookAccessibleRole";
const char* const selectedProperty = "lookAccessibleSelected";

class RoleAccessible : public QAccessibleWidget {
public:
    RoleAccessible(QWidget* w, QAccessible::Role role) : QAccessibleWidget(w, role) {}

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        const QVariant selected = widget()->property(selectedProperty);
        if (selected.isValid()) {
            s.selectable = true;
            s.selected = selected.toBool();
        }
        return s;
    }
    // A painted button (a row) is pressed like any other button.
    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (qobject_cast<QAbstractButton*>(widget()) && widget()->isEnabled()) names.prepend(pressAction());
        return names;
    }
    void doAction(const QString& name) override {
        auto* button = qobject_cast<QAbstractButton*>(widget());
        if (button && button->isEnabled() && name == pressAction())
            button->click();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (!object || !object->isWidgetType()) return nullptr;
    const QVariant role = object->property(roleProperty);
    if (!role.isValid()) return nullptr;
    return new RoleAccessible(static_cast<QWidget*>(object), QAccessible::Role(role.toInt()));
}

} // namespace

namespace LookAccessible {

void setRole(QWidget* widget, QAccessible::Role role) {
    static const bool installed = (QAccessible::installFactory(factory), true);
    Q_UNUSED(installed);
    widget->setProperty(roleProperty, int(role));
}

void setSelected(QWidget* widget, bool selected) {
    const QVariant was = widget->property(selectedProperty);
    if (was.isValid() && was.toBool() == selected) return;
    widget->setProperty(selectedProperty, selected);
    QAccessible::State changed;
    changed.selected = true;
    QAccessibleStateChangeEvent event(widget, changed);
    QAccessible::updateAccessibility(&event);
}

} // namespace LookAccessible

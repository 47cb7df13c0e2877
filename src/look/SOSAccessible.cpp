#include "SOSAccessible.h"

#include "GuardedSOSButton.h"

#include <QAccessibleActionInterface>
#include <QAccessibleWidget>
#include <QPointer>
#include <QWindow>

namespace {

class SOSPart : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    SOSPart(GuardedSOSButton* owner, bool cover) : owner_(owner), cover_(cover) {}

    bool isValid() const override { return !owner_.isNull(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return owner_ ? owner_->window()->windowHandle() : nullptr; }
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation) const override {
        return {};
    }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(owner_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        if (!owner_ || t != QAccessible::Name) return {};
        return cover_ ? owner_->coverAccessibleText() : owner_->buttonAccessibleText();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!owner_) return {};
        const QRectF local = cover_ ? owner_->coverRect()
                                    : QRectF(owner_->buttonCentre(), QSizeF())
                                          .adjusted(-owner_->buttonRadius(), -owner_->buttonRadius(),
                                                    owner_->buttonRadius(), owner_->buttonRadius());
        return QRect(owner_->mapToGlobal(local.topLeft().toPoint()), local.size().toSize());
    }
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!owner_) return s;
        s.invisible = !owner_->isVisible();
        s.disabled = !owner_->isEnabled();
        s.focusable = true;
        s.focused = isTarget() && owner_->hasFocus();
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override {
        if (!owner_) return {};
        // The cover can be lifted while closed; the button can be held once the cover is lifted and
        // no SOS runs.
        const SOSHold& h = owner_->hold();
        const bool can = cover_ ? !h.coverOpen() : h.coverOpen() && !h.active();
        return can ? QStringList{pressAction()} : QStringList{};
    }
    void doAction(const QString& name) override {
        if (!owner_ || !owner_->isEnabled() || name != pressAction()) return;
        if (cover_)
            owner_->liftCover();
        else
            owner_->pressButtonOnce();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
    // The part Return acts on: the cover while closed, then the button.
    bool isTarget() const { return owner_ && cover_ != owner_->hold().coverOpen(); }

private:
    QPointer<GuardedSOSButton> owner_;
    bool cover_;
};

class SOSAccessible : public QAccessibleWidget {
public:
    explicit SOSAccessible(GuardedSOSButton* w) : QAccessibleWidget(w, QAccessible::Grouping) {
        for (bool cover : {true, false}) {
            auto* part = new SOSPart(w, cover);
            ids_ << QAccessible::registerAccessibleInterface(part);
            parts_ << part;
        }
    }
    ~SOSAccessible() override {
        for (QAccessible::Id id : ids_)
            QAccessible::deleteAccessibleInterface(id);
    }
    int childCount() const override { return int(parts_.size()) + QAccessibleWidget::childCount(); }
    QAccessibleInterface* child(int index) const override {
        if (index >= 0 && index < parts_.size()) return parts_[index];
        return QAccessibleWidget::child(index - int(parts_.size()));
    }
    QAccessibleInterface* focusChild() const override {
        if (!widget()->hasFocus()) return QAccessibleWidget::focusChild();
        return parts_[static_cast<GuardedSOSButton*>(widget())->hold().coverOpen() ? 1 : 0];
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const int own = int(parts_.indexOf(const_cast<QAccessibleInterface*>(child)));
        if (own >= 0) return own;
        const int widgetIndex = QAccessibleWidget::indexOfChild(child);
        return widgetIndex < 0 ? -1 : widgetIndex + int(parts_.size());
    }

private:
    QList<QAccessible::Id> ids_;
    QList<QAccessibleInterface*> parts_;
};

} // namespace

void sosAccessibleFocus(GuardedSOSButton* button) {
    if (!QAccessible::isActive() || !button->hasFocus()) return;
    QAccessibleInterface* group = QAccessible::queryAccessibleInterface(button);
    if (QAccessibleInterface* part = group ? group->focusChild() : nullptr) {
        QAccessibleEvent event(part, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

QAccessibleInterface* sosAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("GuardedSOSButton") && object && object->isWidgetType())
        return new SOSAccessible(static_cast<GuardedSOSButton*>(object));
    return nullptr;
}

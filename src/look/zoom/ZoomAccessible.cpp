#include "ZoomAccessible.h"

#include "QMZoomHost.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QGuiApplication>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <QWindow>

namespace {

// The host showing `w`, when `w` is part of a zoom host's content.
QMZoomHost* hostOf(const QWidget* w) {
    if (!w) return nullptr;
    QGraphicsProxyWidget* proxy = w->window()->graphicsProxyWidget();
    if (!proxy || !proxy->scene()) return nullptr;
    for (QGraphicsView* view : proxy->scene()->views())
        if (auto* host = qobject_cast<QMZoomHost*>(view); host && host->content() == w->window()) return host;
    return nullptr;
}

// A rectangle of the content (its own coordinates) as drawn on the screen: zoomed and scrolled.
QRect drawn(const QMZoomHost* host, const QRectF& local) {
    const QGraphicsProxyWidget* proxy = host->content()->graphicsProxyWidget();
    const QRect inView = host->mapFromScene(proxy->mapRectToScene(local)).boundingRect();
    return QRect(host->viewport()->mapToGlobal(inView.topLeft()), inView.size());
}

QWindow* windowOf(const QMZoomHost* host) {
    return host ? host->window()->windowHandle() : nullptr;
}

// The nearest element above `iface` that stands for a widget.
QWidget* ownerWidget(const QAccessibleInterface* iface) {
    for (QAccessibleInterface* p = iface ? iface->parent() : nullptr; p; p = p->parent())
        if (p->object() && p->object()->isWidgetType()) return static_cast<QWidget*>(p->object());
    return nullptr;
}

// A part of a widget with no object of its own (a painted sub-control, a cell) reports its rectangle
// from the widget's unzoomed place; it is taken back to the widget's coordinates and drawn from there.
QRect drawnPart(const QMZoomHost* host, const QAccessibleInterface* inner) {
    const QRect r = inner->rect();
    QWidget* owner = ownerWidget(inner);
    if (r.isEmpty() || !owner || !host) return r;
    const QPoint origin = owner->mapToGlobal(QPoint(0, 0));
    const double sx = (owner->mapToGlobal(QPoint(1000, 0)).x() - origin.x()) / 1000.0;
    const double sy = (owner->mapToGlobal(QPoint(0, 1000)).y() - origin.y()) / 1000.0;
    if (sx <= 0 || sy <= 0) return r;
    const QPointF inOwner((r.x() - origin.x()) / sx, (r.y() - origin.y()) / sy);
    const QPointF inContent = inOwner + QPointF(owner->mapTo(host->content(), QPoint(0, 0)));
    return drawn(host, QRectF(inContent, QSizeF(r.size())));
}

// Everything but place, window and family comes from the element Qt (or the program) made for the
// same object or part. Parts are wrapped too, so their places are the drawn ones.
class Face : public QAccessibleInterface {
public:
    Face(QAccessibleInterface* inner, QAccessible::Id innerId) : inner_(inner), innerId_(innerId) {}
    ~Face() override {
        // The inner element is ours, though registered: it goes with us.
        if (QAccessible::accessibleInterface(innerId_) == inner_) QAccessible::deleteAccessibleInterface(innerId_);
    }

    bool isValid() const override { return alive() && inner_->isValid(); }
    QObject* object() const override { return alive() ? inner_->object() : nullptr; }
    QWindow* window() const override {
        if (QMZoomHost* h = host()) return windowOf(h);
        return alive() ? inner_->window() : nullptr;
    }
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override {
        if (!alive()) return {};
        auto list = inner_->relations(match);
        for (auto& r : list) r.first = wrapped(r.first);
        return list;
    }
    QAccessibleInterface* focusChild() const override { return alive() ? wrapped(inner_->focusChild()) : nullptr; }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = childCount() - 1; i >= 0; --i)
            if (QAccessibleInterface* c = child(i); c && c->rect().contains(x, y)) return c;
        return nullptr;
    }
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int index) const override {
        return alive() ? wrapped(inner_->child(index)) : nullptr;
    }
    int childCount() const override { return alive() ? inner_->childCount() : 0; }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!alive() || !child) return -1;
        for (int i = 0; i < childCount(); ++i)
            if (this->child(i) == child) return i;
        return inner_->indexOfChild(child);
    }
    QString text(QAccessible::Text t) const override {
        if (!alive()) return {};
        // Qt names a picker by its current entry on this platform; one given a name keeps it, and its
        // entry stays its value.
        if (t == QAccessible::Name)
            if (auto* combo = qobject_cast<QComboBox*>(inner_->object()); combo && !combo->accessibleName().isEmpty())
                return combo->accessibleName();
        return inner_->text(t);
    }
    void setText(QAccessible::Text t, const QString& text) override {
        if (alive()) inner_->setText(t, text);
    }
    QRect rect() const override;
    QAccessible::Role role() const override { return alive() ? inner_->role() : QAccessible::NoRole; }
    QAccessible::State state() const override {
        if (!alive()) {
            QAccessible::State s;
            s.invalid = true;
            return s;
        }
        return inner_->state();
    }
    QColor foregroundColor() const override { return alive() ? inner_->foregroundColor() : QColor(); }
    QColor backgroundColor() const override { return alive() ? inner_->backgroundColor() : QColor(); }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return alive() ? inner_->interface_cast(type) : nullptr;
    }

    QAccessibleInterface* inner() const { return inner_; }

protected:
    // The inner element may go first when it is a part its widget dropped.
    bool alive() const { return QAccessible::accessibleInterface(innerId_) == inner_; }
    QMZoomHost* host() const;
    static QAccessibleInterface* wrapped(QAccessibleInterface* iface);

    QAccessibleInterface* inner_;
    QAccessible::Id innerId_;
};

// A part is registered by itself: its widget owns the inner element, so the face is dropped with it.
QHash<QAccessibleInterface*, QAccessible::Id>& partFaces() {
    static QHash<QAccessibleInterface*, QAccessible::Id> faces;
    return faces;
}

QAccessibleInterface* Face::wrapped(QAccessibleInterface* iface) {
    if (!iface || iface->object() || dynamic_cast<Face*>(iface)) return iface; // objects come wrapped
    auto& faces = partFaces();
    if (auto it = faces.find(iface); it != faces.end()) {
        if (QAccessibleInterface* face = QAccessible::accessibleInterface(*it);
            face && static_cast<Face*>(face)->inner() == iface)
            return face;
        faces.erase(it);
    }
    const QAccessible::Id innerId = QAccessible::uniqueId(iface);
    auto* face = new Face(iface, innerId);
    faces.insert(iface, QAccessible::registerAccessibleInterface(face));
    return face;
}

QMZoomHost* Face::host() const {
    for (const QAccessibleInterface* i = this; i; i = i->parent())
        if (i->object() && i->object()->isWidgetType()) return hostOf(static_cast<QWidget*>(i->object()));
    return nullptr;
}

QAccessibleInterface* Face::parent() const {
    if (!alive()) return nullptr;
    QObject* o = inner_->object();
    if (o && o->isWidgetType()) {
        QMZoomHost* h = hostOf(static_cast<QWidget*>(o));
        if (h && h->content() == o) return QAccessible::queryAccessibleInterface(h);
    }
    return wrapped(inner_->parent());
}

QRect Face::rect() const {
    if (!alive()) return {};
    QMZoomHost* h = host();
    QObject* o = inner_->object();
    if (!h) return inner_->rect();
    if (o && o->isWidgetType()) {
        auto* w = static_cast<QWidget*>(o);
        if (!w->isVisible()) return {};
        return drawn(h, QRectF(QPointF(w->mapTo(h->content(), QPoint(0, 0))), QSizeF(w->size())));
    }
    return drawnPart(h, inner_);
}

// The host: a container inside its window holding the content alone (not its viewport or scroll
// bars). It keeps the keyboard for the content, but assistive technology sees the content's controls
// take the focus, never the host.
class HostFace : public QAccessibleWidget {
public:
    explicit HostFace(QMZoomHost* host) : QAccessibleWidget(host, QAccessible::Client) {}
    int childCount() const override { return content() ? 1 : 0; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 && content() ? QAccessible::queryAccessibleInterface(content()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && content() && child->object() == content() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        QAccessibleInterface* c = child(0);
        return c && c->rect().contains(x, y) ? c : nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        QAccessibleInterface* c = child(0);
        return c ? c->focusChild() : nullptr;
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.focusable = false;
        s.focused = false;
        return s;
    }

private:
    QWidget* content() const { return static_cast<QMZoomHost*>(widget())->content(); }
};

// The application: its windows, as Qt lists them, but not a zoom host's content, which Qt counts as a
// window of its own though it is drawn inside another.
class AppFace : public QAccessibleObject {
public:
    AppFace() : QAccessibleObject(qApp) {}
    QWindow* window() const override { return nullptr; }
    QAccessibleInterface* parent() const override { return nullptr; }
    int childCount() const override { return int(windows().size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<QObject*> list = windows();
        return index >= 0 && index < list.size() ? QAccessible::queryAccessibleInterface(list[index]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child ? int(windows().indexOf(child->object())) : -1;
    }
    QAccessibleInterface* focusChild() const override {
        QWindow* w = QGuiApplication::focusWindow();
        return w ? w->accessibleRoot() : nullptr;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return QGuiApplication::applicationDisplayName();
        if (t == QAccessible::Description) return QGuiApplication::applicationVersion();
        return {};
    }
    QAccessible::Role role() const override { return QAccessible::Application; }
    QAccessible::State state() const override { return {}; }

private:
    static QList<QObject*> windows() {
        QList<QObject*> list;
        for (QWindow* w : QGuiApplication::topLevelWindows()) {
            if (w->type() == Qt::Popup || w->type() == Qt::Desktop) continue;
            QAccessibleInterface* root = w->accessibleRoot();
            QObject* o = root ? root->object() : nullptr;
            if (!o || (o->isWidgetType() && hostOf(static_cast<QWidget*>(o)))) continue;
            list << o;
        }
        return list;
    }
};

QSet<QObject*>& beingMade() {
    static QSet<QObject*> objects;
    return objects;
}

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (object && object == qApp) return new AppFace;
    if (!object || !object->isWidgetType() || beingMade().contains(object)) return nullptr;
    if (auto* host = qobject_cast<QMZoomHost*>(object)) return new HostFace(host);
    auto* w = static_cast<QWidget*>(object);
    if (!hostOf(w) && !qobject_cast<QComboBox*>(w)) return nullptr;
    // The element Qt or the program makes for this widget, registered under its own number, is
    // wrapped; the face then stands for the widget.
    beingMade().insert(object);
    QAccessibleInterface* inner = QAccessible::queryAccessibleInterface(object);
    beingMade().remove(object);
    if (!inner) return nullptr;
    return new Face(inner, QAccessible::uniqueId(inner));
}

} // namespace

namespace ZoomAccessible {

void attach(QMZoomHost* host) {
    // Factories are asked last-installed first: this one goes to the front again, ahead of those
    // installed while the content was built.
    QAccessible::removeFactory(factory);
    QAccessible::installFactory(factory);
    // The application's element may have been made when a reader first asked; it is made again
    // without the content among its windows.
    if (QAccessibleInterface* app = QAccessible::queryAccessibleInterface(qApp); app && !dynamic_cast<AppFace*>(app))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(app));
    // The content's widgets told of changes while they were built, before the host existed, and may
    // have plain elements already: those go, to be made again wrapped.
    QList<QWidget*> widgets = host->content()->findChildren<QWidget*>();
    widgets.prepend(host->content());
    for (QWidget* w : widgets) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
        if (iface && !dynamic_cast<Face*>(iface)) QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
    }
}

} // namespace ZoomAccessible

#include "QMZoomHost.h"

#include "Defaults.h"
#include "QMZoom.h"
#include "ZoomAccessible.h"

#include <QApplication>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

namespace {

// The proxy is the scene's only item, so at either end of the content's focus chain Tab found nowhere
// else to go and the focus stayed where it was. It goes round to the other end instead.
class ZoomProxy : public QGraphicsProxyWidget {
protected:
    bool focusNextPrevChild(bool next) override {
        QWidget* before = widget() ? widget()->focusWidget() : nullptr;
        const bool moved = QGraphicsProxyWidget::focusNextPrevChild(next);
        if (!widget() || (moved && widget()->focusWidget() != before)) return moved;
        QWidget* root = widget();
        QWidget* w = root;
        for (;;) {
            w = next ? w->nextInFocusChain() : w->previousInFocusChain();
            if (!w || w == root) return moved;
            if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() && w->isEnabled() &&
                w->isVisibleTo(root)) {
                w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
                return true;
            }
        }
    }
};

} // namespace

QMZoomHost::Layout QMZoomHost::layoutFor(const QSizeF& offered, double z, const QSizeF& minSize) {
    Layout l;
    l.zoom = z;
    const double w = std::max(offered.width() / z, minSize.width());
    const double h = std::max(offered.height() / z, minSize.height());
    l.logical = QSizeF(w, h);
    l.scaled = QSizeF(w * z, h * z);
    l.scrollIndicators = w * z > offered.width() + 1 || h * z > offered.height() + 1;
    return l;
}

QMZoomHost::QMZoomHost(QWidget* content, const QSizeF& minSize, QWidget* parent)
    : QGraphicsView(parent), content_(content), minSize_(minSize) {
    setFrameShape(QFrame::NoFrame);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    // Only what changed is drawn again: a whole-window redraw costs milliseconds on every change.
    setViewportUpdateMode(QGraphicsView::MinimalViewportUpdate);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* scene = new QGraphicsScene(this);
    // A new scene posts a full update of itself. Delivered once the scene has a view, it stays pending
    // until the first paint, and the proxy's geometry set meanwhile (here and on the first show) leaves
    // the proxy marked for a whole redraw at the next change inside it: the first packet time would
    // repaint the whole rack. Delivered now, with no view yet, it ends at once.
    QCoreApplication::sendPostedEvents(scene, QEvent::MetaCall);
    setScene(scene);
    proxy_ = new ZoomProxy;
    proxy_->setWidget(content_);
    scene->addItem(proxy_);
    proxy_->setPos(0, 0);
    // The content may need more than minSize (an excess could not be scrolled to): follow its own
    // minimum as it changes.
    content_->installEventFilter(this);
    // Focus inside the proxy never reaches the application's focus signal (the view keeps the
    // application's focus), so the controls' own focus events are watched.
    qApp->installEventFilter(this);
    connect(&Defaults::shared(), &Defaults::changed, this, [this](const QString& key) {
        if (key == QMZoom::key) relayout();
    });
    relayout();
    ZoomAccessible::attach(this);
}

void QMZoomHost::resizeEvent(QResizeEvent* event) {
    QGraphicsView::resizeEvent(event);
    relayout();
}

void QMZoomHost::focusInEvent(QFocusEvent* event) {
    QGraphicsView::focusInEvent(event);
    // The view itself is no control: when the window gets the keyboard back (a sheet closed, the window
    // came up) and nothing inside had the focus, the first control takes it, marked as Tab would.
    QWidget* inside = content_->focusWidget();
    if (inside && inside != content_ && inside->isVisibleTo(content_)) return;
    for (QWidget* w = content_->nextInFocusChain(); w && w != content_; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() && w->isEnabled() && w->isVisibleTo(content_)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

bool QMZoomHost::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if (content_->isAncestorOf(w)) showFocused(w);
        return false;
    }
    if (watched == content_ && event->type() == QEvent::LayoutRequest && !relayingOut_) {
        const QSizeF needed = layoutMinimum();
        if (needed != lastMinimum_) relayout();
    }
    return QGraphicsView::eventFilter(watched, event);
}

void QMZoomHost::showFocused(QWidget* focused) {
    for (QWidget* w = focused->parentWidget(); w && w != content_; w = w->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(w)) area->ensureWidgetVisible(focused, 8, 8);
    const QRectF r(QPointF(focused->mapTo(content_, QPoint(0, 0))), QSizeF(focused->size()));
    ensureVisible(proxy_->mapRectToScene(r), 16, 16);
}

QSizeF QMZoomHost::layoutMinimum() const {
    return minSize_.expandedTo(QSizeF(content_->minimumSizeHint()));
}

void QMZoomHost::relayout() {
    relayingOut_ = true;
    const double z = QMZoom::value();
    QSizeF offered(size());
    const QSizeF minSize = layoutMinimum();
    lastMinimum_ = minSize;
    layout_ = layoutFor(offered, z, minSize);
    // Scroll bars here take room from the view instead of floating over it: when only one axis
    // scrolls, the other is offered what its scroll bar leaves, so it does not scroll by a bar's width.
    const bool overX = layout_.scaled.width() > offered.width() + 1;
    const bool overY = layout_.scaled.height() > offered.height() + 1;
    if (overX != overY) {
        const double bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
        if (overY)
            offered.rwidth() -= bar;
        else
            offered.rheight() -= bar;
        layout_ = layoutFor(offered, z, minSize);
        layout_.scrollIndicators = true;
    }
    proxy_->resize(layout_.logical);
    scene()->setSceneRect(QRectF(QPointF(0, 0), layout_.logical));
    setTransform(QTransform::fromScale(z, z));
    const Qt::ScrollBarPolicy policy =
        layout_.scrollIndicators ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
    setHorizontalScrollBarPolicy(policy);
    setVerticalScrollBarPolicy(policy);
    relayingOut_ = false;
}

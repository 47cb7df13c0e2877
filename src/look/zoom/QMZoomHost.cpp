#include "QMZoomHost.h"

#include "Defaults.h"
#include "QMZoom.h"

#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

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
    setScene(scene);
    proxy_ = scene->addWidget(content_);
    proxy_->setPos(0, 0);
    // The content may need more than minSize (an excess could not be scrolled to): follow its own
    // minimum as it changes.
    content_->installEventFilter(this);
    connect(&Defaults::shared(), &Defaults::changed, this, [this](const QString& key) {
        if (key == QMZoom::key) relayout();
    });
    relayout();
}

void QMZoomHost::resizeEvent(QResizeEvent* event) {
    QGraphicsView::resizeEvent(event);
    relayout();
}

bool QMZoomHost::eventFilter(QObject* watched, QEvent* event) {
    if (watched == content_ && event->type() == QEvent::LayoutRequest && !relayingOut_) {
        const QSizeF needed = layoutMinimum();
        if (needed != lastMinimum_) relayout();
    }
    return QGraphicsView::eventFilter(watched, event);
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

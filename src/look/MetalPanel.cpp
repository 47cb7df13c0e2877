#include "MetalPanel.h"

#include "Skin.h"

#include <QPainter>

MetalPanel::MetalPanel(const Finish& finish, qreal corner, QWidget* parent)
    : QWidget(parent), finish_(finish), corner_(corner) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void MetalPanel::setFinish(const Finish& finish) {
    finish_ = finish;
    update();
}

void MetalPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Skin::cachedLayer(p, QSizeF(size()), QStringLiteral("plate|%1|%2").arg(Skin::key(finish_)).arg(corner_),
                      [this](QPainter& layer) { Skin::metalPlate(layer, QRectF(rect()), corner_, finish_); });
}

ScrewedPanel::ScrewedPanel(const Finish& finish, qreal padding, QWidget* parent)
    : QWidget(parent), finish_(finish), padding_(padding) {
    const int m = qRound(padding);
    setContentsMargins(m, m, m, m);
}

void ScrewedPanel::setFinish(const Finish& finish) {
    finish_ = finish;
    update();
}

qreal ScrewedPanel::screwRadius() const {
    return qBound<qreal>(3, padding_ * 0.3, 5);
}

void ScrewedPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Skin::cachedLayer(p, QSizeF(size()), QStringLiteral("rack|%1|%2").arg(Skin::key(finish_)).arg(padding_),
                      [this](QPainter& layer) { paintFrame(layer); });
}

void ScrewedPanel::paintFrame(QPainter& p) {
    const QRectF r(rect());
    Skin::metalPlate(p, r, corner, finish_);
    // An engraved groove just inside the edge, as on a rack front plate.
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    const QRectF groove = r.adjusted(4.5, 4.5, -4.5, -4.5);
    p.setPen(QPen(QColor(0, 0, 0, 70), 1));
    p.drawRoundedRect(groove, corner - 3, corner - 3);
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    p.drawRoundedRect(groove.translated(0, 1), corner - 3, corner - 3);
    // Screws sit in the corners of the padding; their slots are turned differently, as fitted by hand.
    const qreal s = screwRadius();
    const qreal inset = qMax(s + 6, qMin<qreal>(padding_ * 0.55 + 2, 12));
    const QPointF corners[4] = {{r.left() + inset, r.top() + inset},
                                {r.right() - inset, r.top() + inset},
                                {r.left() + inset, r.bottom() - inset},
                                {r.right() - inset, r.bottom() - inset}};
    const qreal angles[4] = {12, 57, 33, 78};
    for (int i = 0; i < 4; ++i)
        Skin::screw(p, corners[i], s, finish_, angles[i]);
}

#include "QMContainers.h"

#include "QMPaint.h"

#include <QPainter>
#include <QResizeEvent>
#include <QVBoxLayout>
#include <cmath>

namespace {
// The outline `face` at `radius`, inset: the corners shrink by the inset so a border stroked on it
// runs parallel to the outline all the way round.
std::function<QPainterPath(const QRectF&)> insetOutline(const QRectF& face, double radius) {
    return [face, radius](const QRectF& x) {
        return QMPaint::rounded(x, std::max(0.0, radius - (x.left() - face.left())));
    };
}
} // namespace

BrushedLines::BrushedLines(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
}

QList<BrushedLines::Row> BrushedLines::rows(double height) {
    QList<Row> out;
    int i = 0;
    // The position is accumulated, not multiplied, so rows fall exactly where repeated steps put them.
    for (double y = 0; y < height; y += 1.6, ++i)
        out.append({y, double((i * 7919) % 13) / 13.0});
    return out;
}

void BrushedLines::paint(QPainter& p, const QRectF& r) {
    for (const Row& row : rows(r.height()))
        if (row.opacity > 0)
            p.fillRect(QRectF(r.left(), r.top() + row.y, r.width(), 0.6),
                       QColor::fromRgbF(1, 1, 1, float(row.opacity)));
}

void BrushedLines::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p, rect());
}

QMPanel::QMPanel(QWidget* content, double radius, double padding, QMUI* ui, QWidget* parent)
    : QMKitWidget(ui, parent), content_(content), radius_(radius), padding_(padding) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(content_);
    applyMargins();
    rim_ = new QMOverlay(this, [this](QPainter& p) {
        QMPaint::strokeBorder(p, face(), insetOutline(face(), z(radius_)), rimWidth,
                              QMPaint::vertical(face(), theme().rim()));
    });
}

double QMPanel::bleed() const {
    return std::ceil(QMPaint::spread(shadowBlur()) + shadowOffset());
}

QPainterPath QMPanel::outline() const {
    return QMPaint::rounded(face(), z(radius_));
}

void QMPanel::applyMargins() {
    const int b = int(bleed());
    const int pad = int(std::lround(z(padding_)));
    layout()->setContentsMargins(b + pad, b + pad, b + pad, b + pad);
}

void QMPanel::kitChanged() {
    applyMargins();
    QMKitWidget::kitChanged();
    rim_->update();
}

void QMPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF f = face();
    const QPainterPath s = outline();
    QMPaint::shadow(p, s, QColor::fromRgbF(0, 0, 0, 0.45f), shadowBlur(), QPointF(0, shadowOffset()));
    p.fillPath(s, QMPaint::vertical(f, theme().anodized()));
    p.save();
    p.setClipPath(s);
    p.setOpacity(0.05);
    BrushedLines::paint(p, f);
    p.restore();
    // Sheen: white fading to nothing at the vertical centre; the lower half gets none.
    QLinearGradient sheen(f.topLeft(), QPointF(f.left(), f.center().y()));
    sheen.setColorAt(0, QColor::fromRgbF(1, 1, 1, 0.10f));
    sheen.setColorAt(1, Qt::transparent);
    p.fillPath(s, sheen);
}

QMWell::QMWell(QWidget* content, double radius, QMUI* ui, QWidget* parent)
    : QMKitWidget(ui, parent), content_(content), radius_(radius) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content_);
    rims_ = new QMOverlay(this, [this](QPainter& p) {
        const QRectF f = face();
        const double r = z(radius_);
        QLinearGradient g(f.topLeft(), f.bottomLeft());
        g.setColorAt(0, QColor::fromRgbF(0, 0, 0, 0.9f));
        g.setColorAt(1, qmOpacity(theme().metalMid, 0.5));
        QMPaint::strokeBorder(p, f, insetOutline(f, r), rimWidth(), QBrush(g));
        // The soft inner line sits on the inner edge of the rim, blurred a little.
        const double in = rimWidth();
        const QRectF inner = f.adjusted(in, in, -in, -in);
        const double ir = std::max(0.0, r - in);
        QMPaint::blurred(p, inner, 1.5, {}, [&](QPainter& ip) {
            QMPaint::strokeBorder(ip, inner, insetOutline(inner, ir), 1.0, QColor::fromRgbF(0, 0, 0, 0.6f));
        });
    });
}

QPainterPath QMWell::outline() const {
    return QMPaint::rounded(face(), z(radius_));
}

void QMWell::clipContent() {
    // Children cannot be clipped to a curve: a mask cuts the corners, and the rim drawn above covers
    // the mask's stepped edge.
    const QPainterPath s = outline().translated(-content_->pos());
    content_->setMask(QRegion(s.toFillPolygon().toPolygon()));
}

void QMWell::kitChanged() {
    QMKitWidget::kitChanged();
    clipContent();
    rims_->update();
}

void QMWell::resizeEvent(QResizeEvent* e) {
    QMKitWidget::resizeEvent(e);
    clipContent();
}

void QMWell::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(outline(), theme().well);
}

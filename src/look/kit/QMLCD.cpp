#include "QMLCD.h"

#include "QMPaint.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>
#include <cmath>

QMLCD::QMLCD(const QString& text, double size, QMUI* ui, QWidget* parent)
    : QMKitWidget(ui, parent), text_(text), size_(size) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void QMLCD::setText(const QString& text) {
    text_ = text;
    updateGeometry();
    update();
}

QSize QMLCD::sizeHint() const {
    const QFontMetricsF fm(lcdFont());
    const QRectF box = fm.boundingRect(QRectF(0, 0, 1e6, 1e6), Qt::AlignLeft | Qt::AlignTop, text_);
    const double w = box.width() + 2 * margins().width();
    const double h = std::max(box.height(), fm.height()) + 2 * margins().height();
    return QSize(int(std::ceil(w)), int(std::ceil(h)));
}

void QMLCD::paintEvent(QPaintEvent*) {
    const QMTheme& t = theme();
    QPainter p(this);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QRectF w = windowRect();
    p.fillPath(QMPaint::capsule(w), t.well);
    QMPaint::strokeBorder(p, w, QMPaint::capsule, 1.0, QMPaint::vertical(w, t.rim()));
    const QSizeF m = margins();
    const QRectF textRect = w.adjusted(m.width(), m.height(), -m.width(), -m.height());
    const QFont font = lcdFont();
    // Only the glyphs glow: the glow is the text itself, blurred, under the sharp text.
    QMPaint::blurred(p, textRect, glowRadius(), {}, [&](QPainter& ip) {
        ip.setFont(font);
        ip.setPen(qmOpacity(t.accent, 0.9));
        ip.drawText(textRect, Qt::AlignCenter, text_);
    });
    p.setFont(font);
    p.setPen(t.accent2);
    p.drawText(textRect, Qt::AlignCenter, text_);
}

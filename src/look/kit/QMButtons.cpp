#include "QMButtons.h"

#include "QMPaint.h"
#include "Symbols.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRadialGradient>
#include <cmath>

namespace {
QColor black(double a) {
    return QColor::fromRgbF(0, 0, 0, float(a));
}
QColor white(double a) {
    return QColor::fromRgbF(1, 1, 1, float(a));
}
} // namespace

QMChromeButton::QMChromeButton(const QString& text, bool prominent, bool compact, QMUI* ui, QWidget* parent)
    : QAbstractButton(parent), ui_(ui ? ui : &QMUI::shared()), prominent_(prominent), compact_(compact) {
    setText(text);
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(ui_, &QMUI::changed, this, [this] {
        updateGeometry();
        update();
    });
}

QFont QMChromeButton::labelFont() const {
    return ui_->font(compact_ ? 11 : 12.5, QFont::Bold);
}

QSizeF QMChromeButton::margins() const {
    return compact_ ? QSizeF(ui_->z(10), ui_->z(4)) : QSizeF(ui_->z(16), ui_->z(7));
}

double QMChromeButton::bleed() const {
    const double drop = QMPaint::spread(3) + 2;
    const double glow = prominent_ ? QMPaint::spread(ui_->z(8)) : 0;
    return std::ceil(std::max(drop, glow));
}

QRectF QMChromeButton::capsuleRect() const {
    const double b = bleed();
    return QRectF(rect()).adjusted(b, b, -b, -b);
}

QSize QMChromeButton::sizeHint() const {
    const QFontMetricsF fm(labelFont());
    const QSizeF m = margins();
    const double w = fm.horizontalAdvance(text()) + 2 * m.width();
    const double h = fm.height() + 2 * m.height();
    return QSize(int(std::ceil(w + 2 * bleed())), int(std::ceil(h + 2 * bleed())));
}

bool QMChromeButton::hitButton(const QPoint& pos) const {
    return QMPaint::capsule(capsuleRect()).contains(pos);
}

void QMChromeButton::paintEvent(QPaintEvent*) {
    const bool P = isDown();
    const QMTheme& t = ui_->theme();
    QPainter p(this);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QRectF c = capsuleRect();
    // Pressed: drawn at 97 % about the centre; the switch of look is immediate.
    const double s = P ? 0.97 : 1.0;
    // The drop shadow belongs to the shrunken whole but keeps its own point sizes.
    const QPointF drop = shadowFor(P);
    const QRectF shrunk(c.center() - QPointF(c.width() * s / 2, c.height() * s / 2), c.size() * s);
    QMPaint::shadow(p, QMPaint::capsule(shrunk), black(0.5), drop.x(), QPointF(0, drop.y()));
    p.translate(c.center());
    p.scale(s, s);
    p.translate(-c.center());
    const QPainterPath shape = QMPaint::capsule(c);
    if (prominent_) {
        p.fillPath(shape,
                   QMPaint::vertical(c, QMPaint::stops({t.accent2, t.accent, qmOpacity(t.accent, 0.7)})));
        QMPaint::shadow(p, shape, qmOpacity(t.accent, P ? 0.2 : 0.45), ui_->z(8));
    } else {
        p.fillPath(shape, QMPaint::vertical(c, P ? t.chrome() : t.chromeSoft()));
    }
    const QRectF glossRect = c.adjusted(2, 2, -2, -2);
    QLinearGradient gloss(glossRect.topLeft(), QPointF(glossRect.left(), glossRect.center().y()));
    gloss.setColorAt(0, white(P ? 0.05 : 0.45));
    gloss.setColorAt(1, Qt::transparent);
    p.fillPath(QMPaint::capsule(glossRect), gloss);

    p.setFont(labelFont());
    p.setPen(prominent_ ? black(0.5) : white(0.7));
    p.drawText(c.translated(0, 1), Qt::AlignCenter, text());
    p.setPen(prominent_ ? QColor(Qt::white) : black(0.82));
    p.drawText(c, Qt::AlignCenter, text());

    QMPaint::strokeBorder(p, c, QMPaint::capsule, 1.0, QMPaint::vertical(c, t.rim()));
}

QMOrbButton::QMOrbButton(const QString& symbol, double size, bool lit, const QString& help,
                         std::function<void()> action, QMUI* ui, QWidget* parent)
    : QAbstractButton(parent), ui_(ui ? ui : &QMUI::shared()), symbol_(symbol), size_(size), lit_(lit),
      help_(help) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setToolTip(help_);
    setAccessibleName(help_.isEmpty() ? symbol_ : help_);
    if (action) connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
    connect(ui_, &QMUI::changed, this, [this] {
        updateGeometry();
        update();
    });
}

void QMOrbButton::setLit(bool lit) {
    lit_ = lit;
    update();
}

double QMOrbButton::bleed() const {
    const double glow = QMPaint::spread(ui_->z(7));
    const double drop = QMPaint::spread(ui_->z(3)) + ui_->z(2);
    return std::ceil(std::max(glow, drop));
}

QRectF QMOrbButton::orbRect() const {
    const double d = diameter();
    return QRectF(QRectF(rect()).center() - QPointF(d / 2, d / 2), QSizeF(d, d));
}

QSize QMOrbButton::sizeHint() const {
    const int s = int(std::ceil(diameter() + 2 * bleed()));
    return QSize(s, s);
}

bool QMOrbButton::hitButton(const QPoint& pos) const {
    return QMPaint::circle(orbRect()).contains(pos);
}

void QMOrbButton::paintEvent(QPaintEvent*) {
    const QMTheme& t = ui_->theme();
    QPainter p(this);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const QRectF o = orbRect();
    const double d = o.width();
    const QPainterPath bezel = QMPaint::circle(o);
    if (lit_)
        QMPaint::shadow(p, bezel, qmOpacity(t.accent, 0.7), ui_->z(7));
    else
        QMPaint::shadow(p, bezel, black(0.5), ui_->z(3), QPointF(0, ui_->z(2)));
    p.fillPath(bezel, QMPaint::vertical(o, t.chrome()));

    const double inset = 0.12 * d;
    const QRectF lens = o.adjusted(inset, inset, -inset, -inset);
    if (lit_) {
        QRadialGradient g(o.center(), 0.45 * d);
        g.setStops(QMPaint::stops({t.accent2, t.accent, qmOpacity(t.accent, 0.5)}));
        p.fillPath(QMPaint::circle(lens), g);
    } else {
        p.fillPath(QMPaint::circle(lens), QMPaint::vertical(lens, QMPaint::stops({t.raised, t.deep})));
    }
    QMPaint::strokeBorder(p, lens, QMPaint::circle, 1.0, black(0.5));

    const double symbolSize = 0.36 * d;
    const QRectF symbolRect(o.center() - QPointF(symbolSize / 2, symbolSize / 2),
                            QSizeF(symbolSize, symbolSize));
    const QColor symbolColour = lit_ ? QColor(Qt::white) : t.text;
    if (lit_) {
        QMPaint::blurred(p, symbolRect, 4, {},
                         [&](QPainter& ip) { Symbols::paint(ip, symbolRect, symbol_, white(0.6)); });
    } else {
        Symbols::paint(p, symbolRect.translated(0, 1), symbol_, black(0.6));
    }
    Symbols::paint(p, symbolRect, symbol_, symbolColour);

    const QRectF hl(o.center().x() - 0.31 * d, o.center().y() - 0.22 * d - 0.15 * d, 0.62 * d, 0.3 * d);
    QLinearGradient hg(hl.topLeft(), hl.bottomLeft());
    hg.setColorAt(0, white(0.55));
    hg.setColorAt(1, Qt::transparent);
    p.fillPath(QMPaint::circle(hl), hg);
}

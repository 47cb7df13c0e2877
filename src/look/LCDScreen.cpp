#include "LCDScreen.h"

#include "CutText.h"
#include "LookAccessible.h"
#include "Skin.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QVBoxLayout>

LCDScreen::LCDScreen(const Finish& finish, QWidget* content, QWidget* parent)
    : QWidget(parent), finish_(finish) {
    setContentsMargins(int(bezel) + 10, int(bezel) + 8, int(bezel) + 10, int(bezel) + 8);
    if (content) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(content);
    }
    applyPalette();
}

void LCDScreen::setFinish(const Finish& finish) {
    finish_ = finish;
    applyPalette();
    update();
}

void LCDScreen::applyPalette() {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, finish_.lcdText);
    pal.setColor(QPalette::Text, finish_.lcdText);
    setPalette(pal);
}

QRectF LCDScreen::glassRect() const {
    return QRectF(rect()).adjusted(bezel, bezel, -bezel, -bezel);
}

void LCDScreen::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Skin::cachedLayer(p, QSizeF(size()), QStringLiteral("lcd|") + Skin::key(finish_),
                      [this](QPainter& layer) { paintGlass(layer); });
}

void LCDScreen::paintGlass(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(rect());
    // Bezel: a dark frame, lit on its lower lip, shadowed on its upper one.
    QLinearGradient frame(r.topLeft(), r.bottomLeft());
    frame.setColorAt(0, QColor(0, 0, 0, 235));
    frame.setColorAt(1, Skin::mix(finish_.panelBottom, Qt::black, 0.55));
    p.setPen(QPen(QColor(255, 255, 255, 38), 1));
    p.setBrush(frame);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 9, 9);
    // Glass: the backlight is brightest in the middle.
    const QRectF g = glassRect();
    QLinearGradient glass(g.topLeft(), g.bottomLeft());
    glass.setColorAt(0, Skin::mix(finish_.lcdBack, Qt::black, 0.35));
    glass.setColorAt(0.5, Skin::mix(finish_.lcdBack, finish_.lcdText, 0.05));
    glass.setColorAt(1, Skin::mix(finish_.lcdBack, Qt::black, 0.25));
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawRoundedRect(g, 6, 6);
    // Faint pixel rows of the display matrix.
    p.save();
    QPainterPath clip;
    clip.addRoundedRect(g, 6, 6);
    p.setClipPath(clip);
    p.setPen(QPen(QColor(0, 0, 0, 40), 1));
    for (qreal y = g.top() + 1.5; y < g.bottom(); y += 3)
        p.drawLine(QPointF(g.left(), y), QPointF(g.right(), y));
    // Inner shadow along the top edge: the glass sits below the bezel.
    QLinearGradient inner(g.topLeft(), g.topLeft() + QPointF(0, 8));
    inner.setColorAt(0, QColor(0, 0, 0, 140));
    inner.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(g, inner);
    // A diagonal reflection across the upper part of the glass.
    QPainterPath sheen;
    sheen.moveTo(g.left(), g.top());
    sheen.lineTo(g.left() + g.width() * 0.62, g.top());
    sheen.lineTo(g.left() + g.width() * 0.38, g.top() + g.height() * 0.48);
    sheen.lineTo(g.left(), g.top() + g.height() * 0.48);
    sheen.closeSubpath();
    QLinearGradient sg(g.topLeft(), g.topLeft() + QPointF(0, g.height() * 0.48));
    sg.setColorAt(0, QColor(255, 255, 255, 22));
    sg.setColorAt(1, QColor(255, 255, 255, 4));
    p.fillPath(sheen, sg);
    p.restore();
    p.setPen(QPen(QColor(0, 0, 0, 200), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(g.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
}

LCDLabel::LCDLabel(const QString& text, const QFont& font, const QColor& colour, QWidget* parent)
    : QWidget(parent), text_(text), font_(font), colour_(colour) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    LookAccessible::setRole(this, QAccessible::StaticText);
    setAccessibleName(text);
    CutText::watch(this, [this] { return text_; }, [this] { return cut(); });
}

bool LCDLabel::cut() const {
    bool cut = false;
    CutText::fit(text_, font_, width(), &cut);
    return cut;
}

void LCDLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void LCDLabel::setColour(const QColor& colour) {
    colour_ = colour;
    update();
}

void LCDLabel::setFont(const QFont& font) {
    font_ = font;
    updateGeometry();
    update();
}

void LCDLabel::setGlow(qreal opacity, qreal radius) {
    glowOpacity_ = opacity;
    glowRadius_ = radius;
    update();
}

void LCDLabel::setAlignment(Qt::Alignment a) {
    alignment_ = a;
    update();
}

QSize LCDLabel::sizeHint() const {
    const QFontMetricsF fm(font_);
    return QSizeF(fm.horizontalAdvance(text_) + 2, fm.height()).toSize() + QSize(1, 1);
}

QSize LCDLabel::minimumSizeHint() const {
    const QFontMetricsF fm(font_);
    return QSize(qCeil(fm.horizontalAdvance(QStringLiteral("…"))) + 2, qCeil(fm.height()) + 1);
}

void LCDLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QString shown = CutText::fit(text_, font_, width());
    Skin::glowText(p, QRectF(rect()), int(alignment_), shown, font_, colour_, glowOpacity_, glowRadius_);
}

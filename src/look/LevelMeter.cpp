#include "LevelMeter.h"

#include "Skin.h"

#include <QPainter>
#include <cmath>

LevelMeter::LevelMeter(float level, const QColor& colour, int bars, QWidget* parent)
    : QWidget(parent), level_(level), colour_(colour), bars_(qMax(0, bars)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

bool LevelMeter::isLit(float level, int index, int bars) {
    if (bars <= 0 || !(level > 0)) // also false for NaN
        return false;
    const double scaled = std::min(double(level) * 1.6, 1.0);
    return scaled > double(index) / double(bars);
}

int LevelMeter::litBars(float level, int bars) {
    int lit = 0;
    for (int i = 0; i < bars; ++i)
        lit += isLit(level, i, bars) ? 1 : 0;
    return lit;
}

void LevelMeter::setLevel(float level) {
    if (litBars(level, bars_) != litBars(level_, bars_)) update();
    level_ = level;
}

void LevelMeter::setColour(const QColor& colour) {
    colour_ = colour;
    update();
}

void LevelMeter::setBars(int bars) {
    bars_ = qMax(0, bars);
    updateGeometry();
    update();
}

QSize LevelMeter::sizeHint() const {
    return {qMax(0, bars_ * (barWidth + gap) - gap) + 2, barHeight + 2};
}

void LevelMeter::paintEvent(QPaintEvent*) {
    if (bars_ <= 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // Bars share the width evenly so the meter fills whatever the layout gives it.
    const qreal step = (width() - 2 + gap) / qreal(bars_);
    const qreal w = qMax<qreal>(1, step - gap);
    const QRectF area(1, 1, width() - 2, height() - 2);
    const int lit = litBars(level_, bars_);
    const QColor dark = Skin::alpha(colour_, 0.14);
    const QColor glow = Skin::alpha(colour_, 0.28);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < bars_; ++i) {
        const QRectF bar(area.left() + i * step, area.top(), w, area.height());
        if (i < lit) {
            p.setBrush(glow);
            p.drawRoundedRect(bar.adjusted(-1, -1, 1, 1), 2, 2);
            p.setBrush(colour_);
        } else {
            p.setBrush(dark);
        }
        p.drawRoundedRect(bar, 1.2, 1.2);
    }
}

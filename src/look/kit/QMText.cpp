#include "QMText.h"

#include "QMPaint.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>
#include <cstdint>
#include <limits>

QString QMTime::clock(double seconds, bool tenths) {
    if (!std::isfinite(seconds) || seconds < 0)
        return tenths ? QStringLiteral("0:00.0") : QStringLiteral("0:00");
    const double t = tenths ? std::floor(seconds * 10.0) / 10.0 : std::floor(seconds);
    // 2^63 is exact in a double; from there on the whole count saturates and the tenth is dropped.
    constexpr double limit = 9223372036854775808.0;
    const bool saturated = t >= limit;
    const std::int64_t total = saturated ? std::numeric_limits<std::int64_t>::max() : std::int64_t(t);
    const std::int64_t h = total / 3600;
    const std::int64_t m = (total - h * 3600) / 60;
    // Whole seconds are taken in integers so large counts keep them exact; the tenth comes from t.
    const double s = double(total - h * 3600 - m * 60) + (saturated ? 0.0 : t - std::trunc(t));
    QString secondsPart = tenths ? QString::asprintf("%04.1f", s) : QString::asprintf("%02d", int(s));
    QString leading = total < 3600 ? QString::asprintf("%lld:", static_cast<long long>(m))
                                   : QString::asprintf("%lld:%02lld:", static_cast<long long>(h),
                                                       static_cast<long long>(m));
    return leading + secondsPart;
}

QMCaption::QMCaption(const QString& text, QMUI* ui, QWidget* parent) : QMKitWidget(ui, parent), text_(text) {}

void QMCaption::setText(const QString& text) {
    text_ = text;
    updateGeometry();
    update();
}

QFont QMCaption::captionFont() const {
    QFont f = ui().font(9.5, QFont::ExtraBold);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.4);
    return f;
}

QSize QMCaption::sizeHint() const {
    const QFontMetricsF fm(captionFont());
    return QSize(int(std::ceil(fm.horizontalAdvance(shownText()))), int(std::ceil(fm.height())));
}

void QMCaption::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(captionFont());
    p.setPen(theme().dim);
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shownText());
}

QMChromeTitle::QMChromeTitle(const QString& first, const QString& second, QMUI* ui, QWidget* parent)
    : QMKitWidget(ui, parent), first_(first), second_(second) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QFont QMChromeTitle::firstFont() const {
    return ui().font(19, QFont::ExtraBold);
}
QFont QMChromeTitle::secondFont() const {
    return ui().font(19, QFont::Light);
}
double QMChromeTitle::bleed() const {
    return std::ceil(QMPaint::spread(z(5)));
}

QSize QMChromeTitle::sizeHint() const {
    const QFontMetricsF a(firstFont()), b(secondFont());
    const double w = a.horizontalAdvance(first_) + spacing() + b.horizontalAdvance(second_);
    const double h = std::max(a.height(), b.height()) + 1.5;
    return QSize(int(std::ceil(w + 2 * bleed())), int(std::ceil(h + 2 * bleed())));
}

void QMChromeTitle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QRectF f = face();
    const QFontMetricsF a(firstFont()), b(secondFont());
    const double h = std::max(a.height(), b.height());
    const double top = f.top() + (f.height() - 1.5 - h) / 2.0;
    // Both words share one baseline, centred vertically as a pair.
    const double baseline = top + std::max(a.ascent(), b.ascent());
    const QPointF firstAt(f.left(), baseline);
    const double firstWidth = a.horizontalAdvance(first_);
    const QPointF secondAt(f.left() + firstWidth + spacing(), baseline);

    QPainterPath firstPath;
    firstPath.addText(firstAt, firstFont(), first_);
    QMPaint::shadow(p, firstPath, QColor::fromRgbF(0, 0, 0, 0.7f), 0, QPointF(0, 1.5));
    p.setPen(Qt::NoPen);
    p.setBrush(
        QMPaint::vertical(QRectF(f.left(), baseline - a.ascent(), firstWidth, a.height()), theme().chrome()));
    p.drawPath(firstPath);

    QPainterPath secondPath;
    secondPath.addText(secondAt, secondFont(), second_);
    QMPaint::shadow(p, secondPath, qmOpacity(theme().accent, 0.7), z(5));
    p.setFont(secondFont());
    p.setPen(theme().accent2);
    p.drawText(secondAt, second_);
}

#include "ViewText.h"

#include <QFontMetricsF>
#include <QPainter>

namespace ViewText {

QString oneLine(const QString& s) {
    QString out = s;
    for (QChar& c : out)
        if (c == u'\r' || c == u'\n' || c == QChar(0x2028) || c == QChar(0x2029)) c = u' ';
    return out;
}

QString trimSpacesTabs(const QString& s) {
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    int from = 0, to = s.size();
    while (from < to && blank(s[from]))
        ++from;
    while (to > from && blank(s[to - 1]))
        --to;
    return s.mid(from, to - from);
}

namespace {
qreal digitCell(const QFontMetricsF& fm) {
    qreal w = 0;
    for (char d = '0'; d <= '9'; ++d)
        w = qMax(w, fm.horizontalAdvance(QChar(d)));
    return w;
}
} // namespace

qreal tabularWidth(const QString& text, const QFont& font) {
    const QFontMetricsF fm(font);
    const qreal cell = digitCell(fm);
    qreal w = 0;
    QString run;
    for (QChar c : text) {
        if (c.isDigit()) {
            w += fm.horizontalAdvance(run) + cell;
            run.clear();
        } else {
            run += c;
        }
    }
    return w + fm.horizontalAdvance(run);
}

qreal drawTabular(QPainter& p, qreal x, const QRectF& rect, const QString& text, const QFont& font) {
    const QFontMetricsF fm(font);
    const qreal cell = digitCell(fm);
    p.setFont(font);
    // Drawn at a baseline (not into rectangles): this runs for every row of a list on every frame.
    const qreal baseline = rect.center().y() + (fm.ascent() - fm.descent()) / 2;
    const qreal start = x;
    int runStart = -1;
    auto flush = [&](int end) {
        if (runStart < 0) return;
        const QString run = text.mid(runStart, end - runStart);
        p.drawText(QPointF(x, baseline), run);
        x += fm.horizontalAdvance(run);
        runStart = -1;
    };
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!c.isDigit()) {
            if (runStart < 0) runStart = i;
            continue;
        }
        flush(i);
        const QString digit(c);
        p.drawText(QPointF(x + (cell - fm.horizontalAdvance(digit)) / 2, baseline), digit);
        x += cell;
    }
    flush(text.size());
    return x - start;
}

} // namespace ViewText

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
    const qreal start = x;
    QString run;
    auto flush = [&] {
        if (run.isEmpty()) return;
        const qreal w = fm.horizontalAdvance(run);
        p.drawText(QRectF(x, rect.top(), w + 1, rect.height()), Qt::AlignLeft | Qt::AlignVCenter, run);
        x += w;
        run.clear();
    };
    for (QChar c : text) {
        if (!c.isDigit()) {
            run += c;
            continue;
        }
        flush();
        p.drawText(QRectF(x, rect.top(), cell, rect.height()), Qt::AlignHCenter | Qt::AlignVCenter,
                   QString(c));
        x += cell;
    }
    flush();
    return x - start;
}

} // namespace ViewText

#include "TextRules.h"

#include <QTextBoundaryFinder>

namespace TextRules {
int characterCount(const QString& s) {
    if (s.isEmpty()) return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    int count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

QString leftCharacters(const QString& s, int n) {
    if (n <= 0) return {};
    if (s.size() <= n) // each character is at least one UTF-16 unit
        return s;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    int count = 0;
    qsizetype pos = 0;
    while (count < n) {
        const qsizetype next = finder.toNextBoundary();
        if (next == -1) return s;
        pos = next;
        ++count;
    }
    return s.left(pos);
}

QString trimmed(const QString& s) {
    return s.trimmed();
}

QString collapseSpaces(const QString& s) {
    QString out;
    out.reserve(s.size());
    bool inSpace = false;
    for (QChar c : s) {
        if (c.isSpace()) {
            if (!inSpace) out.append(QLatin1Char(' '));
            inSpace = true;
        } else {
            out.append(c);
            inSpace = false;
        }
    }
    return out;
}

QString fromNetwork(const QByteArray& utf8, int limit) {
    QString s = QString::fromUtf8(utf8);
    for (QChar& c : s) {
        if (c.category() == QChar::Other_Control || c.unicode() == 0x2028 || c.unicode() == 0x2029)
            c = QLatin1Char(' ');
    }
    return leftCharacters(trimmed(s), limit);
}
} // namespace TextRules

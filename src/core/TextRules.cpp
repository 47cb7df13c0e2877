#include "TextRules.h"

#include <QTextBoundaryFinder>
#include <utility>

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

namespace {
bool isBidiControl(char32_t u) {
    return (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

bool isMark(char32_t u) {
    const auto c = QChar::category(u);
    return c == QChar::Mark_NonSpacing || c == QChar::Mark_SpacingCombining || c == QChar::Mark_Enclosing;
}

// Shows nothing on its own: blanks, format characters (zero-width spaces and joiners, direction
// marks, tags), controls, marks with no base, and the fillers that fonts draw empty.
bool isInvisible(char32_t u) {
    switch (u) {
    case 0x115F:
    case 0x1160:
    case 0x2800:
    case 0x3164:
    case 0xFFA0:
        return true;
    default:
        break;
    }
    const auto c = QChar::category(u);
    return QChar::isSpace(u) || c == QChar::Other_Format || c == QChar::Other_Control ||
           c == QChar::Mark_NonSpacing || c == QChar::Mark_Enclosing || c == QChar::Other_Surrogate ||
           c == QChar::Other_NotAssigned;
}

// Code point at i (a lone surrogate stands for itself) and its length in UTF-16 units.
std::pair<char32_t, int> codePointAt(const QString& s, qsizetype i) {
    const QChar c = s.at(i);
    if (c.isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate())
        return {QChar::surrogateToUcs4(c, s.at(i + 1)), 2};
    return {c.unicode(), 1};
}
} // namespace

QString cleaned(const QString& s) {
    QString flat;
    flat.reserve(s.size());
    for (QChar c : s) {
        const ushort u = c.unicode();
        if (c.category() == QChar::Other_Control || u == 0x2028 || u == 0x2029)
            flat.append(QLatin1Char(' '));
        else if (!isBidiControl(u))
            flat.append(c);
    }
    // Marks are counted per character; those past the limit are dropped.
    QString out;
    out.reserve(flat.size());
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, flat);
    qsizetype start = 0;
    while (start < flat.size()) {
        qsizetype end = finder.toNextBoundary();
        if (end < 0 || end > flat.size()) end = flat.size();
        int marks = 0;
        for (qsizetype i = start; i < end;) {
            const auto [u, n] = codePointAt(flat, i);
            if (!isMark(u) || ++marks <= maxCombiningMarks) out.append(QStringView(flat).sliced(i, n));
            i += n;
        }
        start = end;
    }
    return out;
}

bool hasVisibleCharacter(const QString& s) {
    for (qsizetype i = 0; i < s.size();) {
        const auto [u, n] = codePointAt(s, i);
        if (!isInvisible(u)) return true;
        i += n;
    }
    return false;
}

QString fromStranger(const QString& text, int limit) {
    // Visibility is judged on what is kept: a visible character past the limit shows nothing.
    const QString kept = leftCharacters(trimmed(cleaned(text)), limit);
    return hasVisibleCharacter(kept) ? kept : QString();
}

QString fromNetwork(const QByteArray& utf8, int limit) {
    return fromStranger(QString::fromUtf8(utf8), limit);
}
} // namespace TextRules

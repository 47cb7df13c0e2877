#include "TextRules.h"

#include <QTextBoundaryFinder>
#include <utility>

namespace TextRules {
namespace {
// Shorthand for the grapheme cluster break properties Qt does not expose and the boundaries below need.
bool isMark(char32_t u) {
    const auto c = QChar::category(u);
    return c == QChar::Mark_NonSpacing || c == QChar::Mark_SpacingCombining || c == QChar::Mark_Enclosing;
}

// Attaches to the character before it although it is not a mark: joiners, skin tones, tags, the
// halfwidth sound marks, and the two vowel signs of Thai and Lao that are letters.
bool extendsPrevious(char32_t u) {
    return isMark(u) || u == 0x200C || u == 0x200D || (u >= 0x1F3FB && u <= 0x1F3FF) ||
           (u >= 0xE0020 && u <= 0xE007F) || u == 0xFF9E || u == 0xFF9F || u == 0x0E33 || u == 0x0EB3;
}

// Holds on to the character after it (prefixed concatenation marks and the like).
bool isPrepend(char32_t u) {
    return (u >= 0x0600 && u <= 0x0605) || u == 0x06DD || u == 0x070F || u == 0x0890 || u == 0x0891 ||
           u == 0x08E2 || u == 0x0D4E || u == 0x110BD || u == 0x110CD || u == 0x111C2 || u == 0x111C3 ||
           u == 0x1193F || u == 0x11941 || u == 0x11A3A || (u >= 0x11A84 && u <= 0x11A89) || u == 0x11D46 ||
           u == 0x11F02;
}

// Code point at i (a lone surrogate stands for itself) and its length in UTF-16 units.
std::pair<char32_t, int> codePointAt(QStringView s, qsizetype i) {
    const QChar c = s.at(i);
    if (c.isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate())
        return {QChar::surrogateToUcs4(c, s.at(i + 1)), 2};
    return {c.unicode(), 1};
}

enum class Run { none, common, script };

Run runOf(char32_t u) {
    switch (QChar::script(u)) {
    case QChar::Script_Inherited:
        return Run::none; // belongs to the run it follows
    case QChar::Script_Common:
    case QChar::Script_Unknown:
        return Run::common;
    default:
        return Run::script;
    }
}

// Calls `end` with the end of each character in turn until it returns false. Qt's grapheme finder
// tailors complex scripts (Indic, Thai and others) unit by unit, and characters common to all scripts
// (spaces, digits, emoji) take the script before them, so after such a script it reports a boundary
// after every UTF-16 unit: inside surrogate pairs, joined emoji, flags and keycaps. The finder therefore
// sees each run of common characters and each run of script apart (where one turns into the other is
// always a boundary, so they are cut only there), and a boundary inside a surrogate pair is never taken.
template <typename End>
void forEachCharacterEnd(QStringView s, End&& end) {
    qsizetype runStart = 0;
    auto finish = [&](qsizetype runEnd) {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s.data() + runStart, runEnd - runStart);
        for (qsizetype b = finder.toNextBoundary(); b > 0; b = finder.toNextBoundary()) {
            const qsizetype at = runStart + b;
            if (at < runEnd && s.at(at - 1).isHighSurrogate() && s.at(at).isLowSurrogate()) continue;
            if (!end(at)) return false;
        }
        return true;
    };
    Run run = Run::none;
    char32_t previous = 0;
    for (qsizetype i = 0; i < s.size();) {
        const auto [u, n] = codePointAt(s, i);
        const Run r = runOf(u);
        if (r != Run::none && r != run) {
            if (run != Run::none && !extendsPrevious(u) && !isPrepend(previous)) {
                if (!finish(i)) return;
                runStart = i;
                run = r;
            } else if (run == Run::none) {
                run = r;
            }
        }
        previous = u;
        i += n;
    }
    if (runStart < s.size()) finish(s.size());
}
} // namespace

int characterCount(const QString& s) {
    int count = 0;
    forEachCharacterEnd(s, [&](qsizetype) {
        ++count;
        return true;
    });
    return count;
}

QString leftCharacters(const QString& s, int n) {
    if (n <= 0) return {};
    if (s.size() <= n) // each character is at least one UTF-16 unit
        return s;
    int count = 0;
    qsizetype pos = s.size();
    forEachCharacterEnd(s, [&](qsizetype end) {
        if (++count < n) return true;
        pos = end;
        return false;
    });
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

// Draws nothing and joins nothing in a name, so two names that look the same would differ.
bool isHiddenInName(char32_t u) {
    return u == 0x200B || u == 0xFEFF || (u >= 0xE0000 && u <= 0xE007F);
}
} // namespace

QString cleaned(const QString& s) {
    QString flat;
    flat.reserve(s.size());
    for (qsizetype i = 0; i < s.size();) {
        const auto [u, n] = codePointAt(s, i);
        if (QChar::category(u) == QChar::Other_Control || u == 0x2028 || u == 0x2029)
            flat.append(QLatin1Char(' '));
        else if (n == 1 && QChar::isSurrogate(u)) // half a character: never valid on its own
            flat.append(QChar(QChar::ReplacementCharacter));
        else if (!isBidiControl(u))
            flat.append(QStringView(s).sliced(i, n));
        i += n;
    }
    // Marks are counted per character; those past the limit are dropped.
    QString out;
    out.reserve(flat.size());
    qsizetype start = 0;
    forEachCharacterEnd(flat, [&](qsizetype end) {
        int marks = 0;
        for (qsizetype i = start; i < end;) {
            const auto [u, n] = codePointAt(flat, i);
            if (!isMark(u) || ++marks <= maxCombiningMarks) out.append(QStringView(flat).sliced(i, n));
            i += n;
        }
        start = end;
        return true;
    });
    return out;
}

QString nameCleaned(const QString& s) {
    const QString clean = cleaned(s);
    QString out;
    out.reserve(clean.size());
    for (qsizetype i = 0; i < clean.size();) {
        const auto [u, n] = codePointAt(clean, i);
        if (!isHiddenInName(u)) out.append(QStringView(clean).sliced(i, n));
        i += n;
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

QString nameFromStranger(const QString& name, int limit) {
    return fromStranger(nameCleaned(name), limit);
}

QString nameFromNetwork(const QByteArray& utf8, int limit) {
    return nameFromStranger(QString::fromUtf8(utf8), limit);
}
} // namespace TextRules

#pragma once
// Every length limit in the system counts user-perceived characters (grapheme clusters), and
// "trim" means QChar::isSpace() at both ends.
#include <QByteArray>
#include <QString>

namespace TextRules {
int characterCount(const QString& s);
QString leftCharacters(const QString& s, int n); // the first n characters, never splitting one
QString trimmed(const QString& s);
QString collapseSpaces(const QString& s); // every run of whitespace becomes one U+0020
// A character keeps at most this many combining marks: more only make one "character" huge.
inline constexpr int maxCombiningMarks = 8;
// The one cleaning rule for every name and text that comes from the network or an invite, applied
// before any limit and before anything shows, logs or prints it: C0 and C1 control characters and
// line or paragraph separators become spaces, bidi embedding, override and isolate controls are
// removed, each character keeps at most maxCombiningMarks combining marks, and text with no visible
// character becomes empty. Half a surrogate pair becomes U+FFFD: what comes out is valid UTF-16.
QString cleaned(const QString& s);
// cleaned(), and for names and call signs also without the zero width space, U+FEFF and tag
// characters, which show nothing: two names that look the same are the same.
QString nameCleaned(const QString& s);
bool hasVisibleCharacter(const QString& s);
// A stranger's text (from the network, an invite or a relay): cleaned, empty without a visible
// character, else trimmed and cut to `limit` characters.
QString fromStranger(const QString& text, int limit);
// The same for UTF-8 bytes, invalid sequences replaced.
QString fromNetwork(const QByteArray& utf8, int limit);
// The same for a stranger's channel name or call sign, cleaned with nameCleaned().
QString nameFromStranger(const QString& name, int limit);
QString nameFromNetwork(const QByteArray& utf8, int limit);
} // namespace TextRules

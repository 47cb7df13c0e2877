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
// Text that came from the network: UTF-8 with invalid sequences replaced, control characters and
// line or paragraph separators turned into spaces, trimmed and cut to `limit` characters.
QString fromNetwork(const QByteArray& utf8, int limit);
} // namespace TextRules

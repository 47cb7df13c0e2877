#pragma once
// Text helpers the channel views share: one-line rows of user text, the spaces-and-tabs trim of the
// sheets' enabling rules, and digits painted in cells of equal width (Qt cannot switch on a font's
// tabular figures, so times and lengths would otherwise wobble as they change).
#include <QFont>
#include <QRectF>
#include <QString>

class QPainter;

namespace ViewText {

// CR, LF, U+2028 and U+2029 become spaces, so a row of user text never breaks.
QString oneLine(const QString& s);
// Trims spaces and tabs only (line breaks stay), as the sheets' enabling rules read their fields.
QString trimSpacesTabs(const QString& s);

// Width of `text` with every digit as wide as the font's widest digit.
qreal tabularWidth(const QString& text, const QFont& font);
// Draws `text` left-aligned at `x`, vertically centred in `rect`'s height, each digit centred in a cell
// of the widest digit's width. Returns the width drawn.
qreal drawTabular(QPainter& p, qreal x, const QRectF& rect, const QString& text, const QFont& font);

} // namespace ViewText

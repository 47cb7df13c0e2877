#pragma once
// The fonts of the skinned views: the display face ("Unbounded"), the body face ("Manrope") and the
// monospaced LCD face. A size is in logical pixels (the layout's points), independent of the desktop's
// font DPI, so text keeps its place in the layout; fractional sizes stay exact.
#include <QFont>

namespace WFonts {

// Registers the bundled font files for the process (each only when present). Safe to call again.
// Returns how many faces are registered.
int registerFonts();

// "Heavy" is QFont::ExtraBold: the faces bundled are Regular, Bold and ExtraBold.
QFont display(qreal size, QFont::Weight weight = QFont::ExtraBold);
QFont body(qreal size, QFont::Weight weight = QFont::Normal);
QFont lcd(qreal size); // the system's monospaced face, bold

// Logical pixels to the point size QFont expects.
inline qreal points(qreal size) {
    return size * 72.0 / 96.0;
}

} // namespace WFonts

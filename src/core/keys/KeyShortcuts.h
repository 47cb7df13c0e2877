#pragma once
// The program's keyboard shortcuts, kept in one place: the menus bind them and the manual names them,
// so a step always names the keys the menus really use.
#include <QKeySequence>
#include <QList>

namespace KeyShortcuts {
inline QKeySequence miniMode() { return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M); }
inline QKeySequence showMainWindow() { return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_1); }
inline QKeySequence selfTest() { return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T); }
inline QKeySequence quit() { return QKeySequence(Qt::CTRL | Qt::Key_Q); }
inline QKeySequence help() { return QKeySequence(Qt::CTRL | Qt::Key_Question); }
inline QKeySequence zoomIn() { return QKeySequence(Qt::CTRL | Qt::Key_Plus); }
// Zoom In also answers the "=" key that carries "+" on most keyboards, without Shift. (Ctrl+Shift+= and
// the keypad's + arrive as Ctrl and +, which the first key already matches.)
inline QList<QKeySequence> zoomInKeys() {
    return {zoomIn(), QKeySequence(Qt::CTRL | Qt::Key_Equal)};
}
inline QKeySequence zoomOut() { return QKeySequence(Qt::CTRL | Qt::Key_Minus); }
inline QKeySequence actualSize() { return QKeySequence(Qt::CTRL | Qt::Key_0); }

// As this platform writes them in menus ("Ctrl+Shift+T").
inline QString nativeText(const QKeySequence& keys) { return keys.toString(QKeySequence::NativeText); }
} // namespace KeyShortcuts

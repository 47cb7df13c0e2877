#pragma once
// What the window manager is told of a floating panel beyond Qt's window flags: that it belongs on every
// desktop and in no task bar or pager, and its title exactly as given (Qt appends the program's display
// name to every window title on X).
#include <QPoint>
#include <QString>

class QWindow;

namespace PanelHints {
// Call before each mapping of the window (its show event): an unmapped window carries the wishes as
// properties, which the window manager reads when it maps it; a mapped one asks the window manager.
// False without an X display or in a build without X support.
bool keepOnEveryDesktop(QWindow* window);
bool setExactTitle(QWindow* window, const QString& title);
// Asks the window manager to move the window with the pointer, as if the drag had begun at `pressedAt`
// (screen coordinates) with the left button: the window keeps the spot that was grabbed under the
// pointer however far it went before the move began. False where no window manager can.
bool startMove(QWindow* window, const QPoint& pressedAt);
} // namespace PanelHints

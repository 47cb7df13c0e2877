#pragma once
// The program's icon: the antenna symbol on a rounded accent square, one SVG for the windows, the
// About panel and the desktop entry.
#include <QIcon>
#include <QString>

namespace AppIcon {
QIcon icon();
QString resourcePath(); // ":/app/qmrl-tessrook.svg"
} // namespace AppIcon

#pragma once
// What the help window and guide tests share: pictures taken into TESSROOK_SHOTS when it is set, and a
// close from the window system.
#include <QCloseEvent>
#include <QDir>
#include <QWidget>
#include <qtestspontaneevent.h>

namespace shots {

// Draws the widget; false when nothing could be drawn.
inline bool take(QWidget* w, const QString& name) {
    const QPixmap picture = w->grab();
    const QString folder = qEnvironmentVariable("TESSROOK_SHOTS");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        picture.save(QDir(folder).filePath(name + QStringLiteral(".png")));
    }
    return !picture.isNull();
}

// A close request from the window's own close button, as the window system sends it.
inline void windowManagerClose(QWidget& w) {
    QCloseEvent e;
    QSpontaneKeyEvent::setSpontaneous(&e);
    static_cast<QObject&>(w).event(&e); // sendEvent would clear the spontaneous mark
    if (e.isAccepted()) w.hide();       // what the window does with an accepted close
}

} // namespace shots

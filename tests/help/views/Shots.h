#pragma once
// What the help window and guide tests share: a close from the window system.
#include <QCloseEvent>
#include <QWidget>
#include <qtestspontaneevent.h>

namespace shots {

// A close request from the window's own close button, as the window system sends it.
inline void windowManagerClose(QWidget& w) {
    QCloseEvent e;
    QSpontaneKeyEvent::setSpontaneous(&e);
    static_cast<QObject&>(w).event(&e); // sendEvent would clear the spontaneous mark
    if (e.isAccepted()) w.hide();       // what the window does with an accepted close
}

} // namespace shots

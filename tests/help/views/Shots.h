#pragma once
// What the help window and guide tests share: fonts, the program's dark look, pictures taken into
// TESSROOK_SHOTS when it is set, and a close from the window system.
#include "WFonts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QPalette>
#include <QStyleFactory>
#include <QWidget>
#include <qtestspontaneevent.h>

namespace shots {

// Fusion with a dark palette, as the program runs.
inline void useProgramLook() {
    WFonts::registerFonts();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x26, 0x28, 0x2c));
    p.setColor(QPalette::WindowText, QColor(0xec, 0xee, 0xf1));
    p.setColor(QPalette::Base, QColor(0x1c, 0x1d, 0x20));
    p.setColor(QPalette::AlternateBase, QColor(0x2a, 0x2c, 0x30));
    p.setColor(QPalette::Text, QColor(0xec, 0xee, 0xf1));
    p.setColor(QPalette::Button, QColor(0x3a, 0x3d, 0x42));
    p.setColor(QPalette::ButtonText, QColor(0xec, 0xee, 0xf1));
    p.setColor(QPalette::Highlight, QColor(0x2f, 0x7d, 0xf6));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, QColor(0x8a, 0x8d, 0x93));
    QApplication::setPalette(p);
}

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

#include "TRTrayIcon.h"

#include "Symbols.h"
#include "TRKLog.h"
#include "TRMenuBarMenu.h"

#include <QCoreApplication>
#include <QCursor>
#include <QImage>
#include <QPainter>
#include <algorithm>

TRTrayIcon::TRTrayIcon(WalkieModel* model, TRMiniPanel* mini, TRMute* mute, QObject* parent)
    : QSystemTrayIcon(parent), menu_(new TRMenuBarMenu(model, mini, mute)) {
    setIcon(antennaIcon());
    setToolTip(QStringLiteral("QMRL Tessrook"));
    setContextMenu(menu_);
    connect(this, &QSystemTrayIcon::activated, this, &TRTrayIcon::activatedBy);
    // Hidden before the program ends, or the tray keeps a dead icon until the mouse passes over it.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &QSystemTrayIcon::hide);
    // Availability is asked afresh every time, never kept: a tray host may appear later, and the icon
    // docks then by itself.
    if (!isSystemTrayAvailable()) {
        static bool logged = false;
        if (!logged) TRKLog::log(noTrayMessage());
        logged = true;
    }
}

TRTrayIcon::~TRTrayIcon() {
    hide();
    delete menu_;
}

QIcon TRTrayIcon::antennaIcon() {
    // A light antenna inside a dark outline: the light strokes read on a dark panel, the outline on a
    // light one, whatever the desktop's theme. (A shadow on one side alone vanished on light panels.)
    const QString symbol = QStringLiteral("antenna.radiowaves.left.and.right");
    QIcon icon;
    for (int px : {16, 22, 24, 32, 48, 64}) {
        const qreal edge = std::max(1.0, px / 16.0); // the outline's width
        const QRectF glyph(edge, edge, px - 2 * edge, px - 2 * edge);
        QImage outline(px, px, QImage::Format_ARGB32_Premultiplied);
        outline.fill(Qt::transparent);
        {
            QPainter p(&outline);
            p.setRenderHint(QPainter::Antialiasing);
            Symbols::paint(p, glyph, symbol, QColor(0x14, 0x16, 0x1A));
        }
        QPixmap pm(px, px);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                if (dx || dy) p.drawImage(QPointF(dx * edge, dy * edge), outline);
        Symbols::paint(p, glyph, symbol, QColor(0xF2, 0xF4, 0xF7));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

void TRTrayIcon::activatedBy(QSystemTrayIcon::ActivationReason reason) {
    // A left click opens the same menu as a right click.
    if (reason == QSystemTrayIcon::Trigger && !menu_->isVisible()) {
        const QRect where = geometry();
        menu_->popup(where.isValid() ? where.bottomLeft() + QPoint(0, 1) : QCursor::pos());
    }
}

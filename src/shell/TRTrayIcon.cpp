#include "TRTrayIcon.h"

#include "Symbols.h"
#include "TRKLog.h"
#include "TRMenuBarMenu.h"

#include <QCoreApplication>
#include <QCursor>
#include <QPainter>

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
    QIcon icon;
    for (int px : {16, 22, 24, 32, 48, 64}) {
        QPixmap pm(px, px);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal pad = px / 16.0;
        // A dark outline one pixel down keeps the light symbol readable on a light panel too.
        Symbols::paint(p, QRectF(pad, pad + 1, px - 2 * pad, px - 2 * pad),
                       QStringLiteral("antenna.radiowaves.left.and.right"), QColor(0, 0, 0, 150));
        Symbols::paint(p, QRectF(pad, pad, px - 2 * pad, px - 2 * pad),
                       QStringLiteral("antenna.radiowaves.left.and.right"), QColor(0xE8, 0xEA, 0xEE));
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

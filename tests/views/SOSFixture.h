#pragma once
// What the SOS panel and alert card tests share: alerts made the way another unit sends them, the
// dark sheet palette of the program and pictures for review.
#include "../radio/ModelFixture.h"

#include "TileCache.h"
#include "TileServer.h"
#include "WFonts.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPalette>
#include <QStyleFactory>
#include <QWidget>

namespace sos {

struct Record {
    QString who = QStringLiteral("Ann");
    std::optional<double> lat, lon, accuracy;
    std::optional<int> battery;
    bool silent = false;
    bool automatic = false;
    QDateTime time = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);

    QByteArray json() const {
        SOSInfo info;
        info.who = who;
        info.lat = lat;
        info.lon = lon;
        info.accuracy = accuracy;
        info.battery = battery;
        info.silent = silent;
        info.automatic = automatic;
        info.time = time;
        return info.toJson();
    }
};

// An SOS record (kind sos, sosUpdate or sosCancel) from unit `id` arriving on `channel`.
inline void arrive(WalkieModel& m, const Channel& channel, PacketKind kind, quint64 id, quint32 seq,
                   const Record& r) {
    m.receiveSealed(fixture::sealed(channel, kind, id, seq, 0xA000 + id, r.json()));
}

// The program's dark sheets: the Fusion style on a dark palette.
inline void darkSheets() {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x26, 0x27, 0x2B));
    p.setColor(QPalette::WindowText, QColor(0xEC, 0xEC, 0xEE));
    p.setColor(QPalette::Base, QColor(0x1C, 0x1C, 0x1F));
    p.setColor(QPalette::Text, QColor(0xEC, 0xEC, 0xEE));
    p.setColor(QPalette::Button, QColor(0x3A, 0x3B, 0x40));
    p.setColor(QPalette::ButtonText, QColor(0xEC, 0xEC, 0xEE));
    p.setColor(QPalette::Highlight, QColor(0x0A, 0x84, 0xFF));
    p.setColor(QPalette::Link, QColor(0x4C, 0xA3, 0xFF));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x86));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x86));
    QApplication::setPalette(p);
}

inline void save(QWidget& w, const QString& name) {
    const QString dir = qEnvironmentVariable("TESSROOK_SHOTS");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    w.grab().save(dir + QStringLiteral("/") + name + QStringLiteral(".png"));
}

inline bool reddish(QColor c) {
    return c.red() > c.green() + 60 && c.red() > c.blue() + 60;
}

} // namespace sos

// A widget test on the model fixture: private folders, the program's names and fonts, the dark
// sheets, and one loopback tile server behind the process's tile cache.
#define SOS_TEST_MAIN(TestClass)                                                                             \
    int main(int argc, char** argv) {                                                                        \
        fixture::privateFolders();                                                                           \
        QApplication app(argc, argv);                                                                        \
        app.setOrganizationName(QStringLiteral("Quillmarsh"));                                               \
        app.setApplicationName(QStringLiteral("QMRL Tessrook"));                                             \
        WFonts::registerFonts();                                                                             \
        sos::darkSheets();                                                                                   \
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));                               \
        TileServer tileServer;                                                                               \
        TileCache tiles(tileServer.address());                                                               \
        TestClass t;                                                                                         \
        return QTest::qExec(&t, argc, argv);                                                                 \
    }

#pragma once
// What the SOS panel and alert card tests share beyond the view fixture: alerts made the way another
// unit sends them, lookups of the sheet's buttons and labels by their text, and loopback map tiles.
#include "TileCache.h"
#include "TileServer.h"
#include "ViewFixture.h"

#include <QLabel>
#include <QPushButton>
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

// The button titled `title` and the label reading `text` inside `in`, or null.
inline QPushButton* button(QWidget* in, const QString& title) {
    for (QPushButton* b : in->findChildren<QPushButton*>())
        if (b->text() == title) return b;
    return nullptr;
}

inline QLabel* label(QWidget* in, const QString& text) {
    for (QLabel* l : in->findChildren<QLabel*>())
        if (l->text() == text) return l;
    return nullptr;
}

inline bool shown(QWidget* in, QWidget* w) {
    return w && w->isVisibleTo(in);
}

// The sheet drawn as it is shown, under TESSROOK_SHOTS.
inline void save(QWidget& w, const QString& name) {
    if (!qEnvironmentVariableIsEmpty("TESSROOK_SHOTS")) views::saveShot(w.grab().toImage(), name);
}

inline bool reddish(QColor c) {
    return c.red() > c.green() + 60 && c.red() > c.blue() + 60;
}

// One loopback tile server behind the process's tile cache, so the maps never go out to the network.
struct LoopbackTiles {
    TileServer server;
    TileCache cache{server.address()};
};

} // namespace sos

// A view test with loopback map tiles, in US English.
#define SOS_TEST_MAIN(TestClass)                                                                             \
    int main(int argc, char** argv) {                                                                        \
        return views::runTests<TestClass, sos::LoopbackTiles>(                                               \
            argc, argv, QLocale(QLocale::English, QLocale::UnitedStates));                                   \
    }

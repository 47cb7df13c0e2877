// SOS from start to end on both sides, the check-in timer, and the SOS record coding.
#include "ModelFixture.h"
#include "TRKLog.h"

#include <QFile>

#include "RadioPlayer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

using namespace fixture;

namespace {
QByteArray record(const QString& who, std::optional<std::pair<double, double>> at = std::nullopt) {
    SOSInfo info;
    info.who = who;
    info.time = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    if (at) {
        info.lat = at->first;
        info.lon = at->second;
        info.accuracy = 5;
    }
    return info.toJson();
}
} // namespace

class ModelSOSTest : public QObject {
    Q_OBJECT
    Rig rig;
    std::unique_ptr<OtherUnit> other;
    Channel a, b;

    WalkieModel& make() {
        other = std::make_unique<OtherUnit>();
        auto& m = rig.make(linkedOptions(rig, *other));
        m.setChannels({a, b});
        m.setSelectedID(a.channelID());
        return m;
    }

private slots:
    void initTestCase() {
        a = channel(QStringLiteral("A"));
        b = channel(QStringLiteral("B"));
    }
    void init() {
        resetSettings();
        rig = Rig();
    }
    void cleanup() {
        rig.model.reset();
        other.reset();
    }

    void ownSOSFromTriggerToCancel() {
        auto& m = make();
        m.startCheckIn(15);
        QCOMPARE(m.notice(),
                 QStringLiteral("Check-in set. If you don't tap I'm OK within 15 minutes, an SOS goes out."));
        QCOMPARE(m.checkInDeadline(), rig.clock->now().addSecs(900));

        m.triggerSOS(false);
        QVERIFY(m.sosActive());
        QCOMPARE(m.notice(), QStringLiteral("SOS sent to all your channels."));
        QVERIFY(!m.checkInDeadline().isValid());
        QVERIFY(rig.locator->isRunning());
        QVERIFY(rig.mic->isOpen()); // the voice clip
        QVERIFY(m.talk().isTransmitting());
        QVERIFY(rig.speaker->opens > 0); // the chirp
        QTRY_COMPARE(other->opened(b, PacketKind::sos).size(), 1);
        QTRY_COMPARE(other->opened(a, PacketKind::sos).size(), 1);
        const Packet first = other->opened(a, PacketKind::sos).first();
        QCOMPARE(first.seq, quint32(1));
        auto info = SOSInfo::fromJson(first.payload);
        QVERIFY(info);
        QCOMPARE(info->who, QStringLiteral("Tester"));
        QCOMPARE(info->battery, std::optional<int>(77));
        QVERIFY(!info->lat && !info->automatic && !info->silent);
        QTRY_COMPARE(other->opened(b, PacketKind::start).size(), 1);

        // A stray release does not cut the clip.
        m.releaseTalk();
        QVERIFY(m.talk().isTransmitting());

        // The first position goes out at once; then every 30 s.
        rig.locator->deliver(52.5, 13.4, 8);
        QTRY_COMPARE(other->opened(a, PacketKind::sosUpdate).size(), 1);
        const Packet update = other->opened(a, PacketKind::sosUpdate).first();
        QCOMPARE(update.txID, first.txID);
        QCOMPARE(update.seq, quint32(2));
        info = SOSInfo::fromJson(update.payload);
        QCOMPARE(info->lat, std::optional<double>(52.5));
        QCOMPARE(info->accuracy, std::optional<double>(8));
        rig.locator->deliver(52.6, 13.4, 8);
        m.sosUpdateTick();
        QTRY_COMPARE(other->opened(a, PacketKind::sosUpdate).size(), 2);
        QCOMPARE(other->opened(a, PacketKind::sosUpdate).last().seq, quint32(3));

        // Acknowledgements: each name once, with its notice; another SOS's acks are not ours.
        m.receiveSealed(sealed(b, PacketKind::ack, first.txID, 1, 0xB, "Bea"));
        m.receiveSealed(sealed(a, PacketKind::ack, first.txID, 1, 0xB, "Bea"));
        m.receiveSealed(sealed(a, PacketKind::ack, first.txID + 1, 1, 0xC, "Cal"));
        QCOMPARE(m.sosResponders(), QStringList{QStringLiteral("Bea")});
        QCOMPARE(m.notice(), QStringLiteral("Bea is responding to your SOS."));

        // The clip ends after 15 s.
        rig.clock->advance(15);
        m.transmitTick();
        QCOMPARE(m.talk(), TalkState::idle());
        QTRY_COMPARE(other->opened(b, PacketKind::end).size(), 1);

        m.cancelSOS();
        QVERIFY(!m.sosActive());
        QVERIFY(!rig.locator->isRunning());
        QCOMPARE(m.notice(), QStringLiteral("SOS cancelled. Everyone was told you're OK."));
        QTRY_COMPARE(other->opened(b, PacketKind::sosCancel).size(), 1);
        QTRY_COMPARE(other->opened(a, PacketKind::sosCancel).size(), 1);
        QCOMPARE(other->opened(a, PacketKind::sosCancel).first().txID, first.txID);
        const QString n = m.notice();
        m.cancelSOS(); // nothing to cancel
        QCOMPARE(m.notice(), n);

        // A new SOS has a new ID and starts with no responders.
        m.triggerSOS(true);
        QVERIFY(m.sosResponders().isEmpty());
        QTRY_COMPARE(other->opened(a, PacketKind::sos).size(), 2);
        QVERIFY(other->opened(a, PacketKind::sos).last().txID != first.txID);
        QVERIFY(SOSInfo::fromJson(other->opened(a, PacketKind::sos).last().payload)->silent);
        QCOMPARE(m.notice(), n); // silent: no notice

        // No position by the first update (no location service running): the log says why, once.
        auto noPositionLines = [] {
            TRKLog::flush();
            QFile log(TRKLog::file());
            return log.open(QIODevice::ReadOnly) ? log.readAll().count("SOS: no position yet") : -1;
        };
        QCOMPARE(noPositionLines(), 0); // the first SOS had one
        m.sosUpdateTick();
        m.sosUpdateTick();
        QCOMPARE(noPositionLines(), 1);
    }

    void aSilentSOSMakesNoSoundHere() {
        auto& m = make();
        m.triggerSOS(true);
        QVERIFY(m.sosActive());
        QVERIFY(m.notice().isEmpty());
        QCOMPARE(rig.speaker->opens, 0);
        QVERIFY(rig.mic->isOpen());
    }

    void withoutChannelsNothingIsSent() {
        auto& m = rig.make();
        m.startCheckIn(1);
        m.triggerSOS(false);
        QVERIFY(!m.sosActive());
        QCOMPARE(m.notice(),
                 QStringLiteral("Join or create a channel first, so your SOS has somewhere to go."));
        QVERIFY(m.checkInDeadline().isValid()); // only a sent SOS clears it
        // An expired check-in with nowhere to send ends all the same: no countdown stuck at 0:00.
        rig.clock->advance(61);
        m.checkInTick();
        QVERIFY(!m.sosActive());
        QVERIFY(!m.checkInDeadline().isValid());
        QCOMPARE(m.notice(),
                 QStringLiteral("Join or create a channel first, so your SOS has somewhere to go."));
    }

    void checkInTicksAndExpires() {
        auto& m = make();
        m.startCheckIn(1);
        QSignalSpy spy(&m, &WalkieModel::checkInDeadlineChanged);
        rig.clock->advance(59);
        m.checkInTick();
        QCOMPARE(spy.count(), 1); // a change every second, for countdowns
        QVERIFY(!m.sosActive());
        rig.clock->advance(1);
        m.checkInTick();
        QVERIFY(m.sosActive());
        QVERIFY(!m.checkInDeadline().isValid());
        QCOMPARE(m.notice(), QStringLiteral("Check-in missed. SOS sent to all your channels."));
        QTRY_COMPARE(other->opened(a, PacketKind::sos).size(), 1);
        QVERIFY(SOSInfo::fromJson(other->opened(a, PacketKind::sos).first().payload)->automatic);

        m.startCheckIn(30);
        m.checkInOK();
        QVERIFY(!m.checkInDeadline().isValid());
        QCOMPARE(m.notice(), QStringLiteral("Checked in. Timer cleared."));
    }

    void alertsFromOtherUnits() {
        auto& m = make();
        QSignalSpy panel(&m, &WalkieModel::showSOSPanelChanged);
        m.receiveSealed(sealed(a, PacketKind::sos, 500, 1, 0xA, record("Ann", std::pair{1.0, 2.0})));
        QCOMPARE(m.alerts().size(), 1);
        QVERIFY(m.showSOSPanel());
        QVERIFY(m.player()->sirenPlaying());
        QCOMPARE(m.notice(), QStringLiteral("Ann sent an SOS on A."));
        SOSAlert ann = m.alerts().first();
        QCOMPARE(ann.id, quint64(500));
        QCOMPARE(ann.channelName, QStringLiteral("A"));
        QCOMPARE(ann.channelID, a.channelID());
        QCOMPARE(ann.trail.size(), 1);
        QVERIFY(ann.active);

        // The same SOS on the other channel and an unchanged position add nothing; a move adds a point.
        m.receiveSealed(sealed(b, PacketKind::sos, 500, 1, 0xA, record("Ann", std::pair{1.0, 2.0})));
        m.receiveSealed(sealed(a, PacketKind::sosUpdate, 500, 2, 0xA, record("Ann", std::pair{1.0, 2.0})));
        QCOMPARE(m.alerts().size(), 1);
        QCOMPARE(m.alerts().first().trail.size(), 1);
        for (int i = 0; i < 510; ++i)
            m.receiveSealed(
                sealed(a, PacketKind::sosUpdate, 500, 3 + i, 0xA, record("Ann", std::pair{1.0, i * 0.01})));
        QCOMPARE(m.alerts().first().trail.size(), 500);
        QCOMPARE(m.alerts().first().trail.last().lon, 5.09);
        // A record that breaks the rules is refused.
        m.receiveSealed(sealed(a, PacketKind::sos, 501, 1, 0xD, R"({"who":"Dan","time":"noon"})"));
        QCOMPARE(m.alerts().size(), 1);

        m.receiveSealed(sealed(b, PacketKind::sos, 600, 1, 0xB, record("Bob")));
        QCOMPARE(m.alerts().first().info.who, QStringLiteral("Bob"));
        m.setShowSOSPanel(false);

        // Cancel: inactive, its notice; the siren goes on while Bob's is active.
        m.receiveSealed(sealed(b, PacketKind::sosCancel, 500, 600, 0xA, record("Ann")));
        QVERIFY(!m.alerts()[1].active);
        QCOMPARE(m.notice(), QStringLiteral("Ann is safe. SOS cancelled."));
        QVERIFY(m.player()->sirenPlaying());
        m.receiveSealed(sealed(a, PacketKind::sosUpdate, 500, 601, 0xA, record("Ann")));
        QVERIFY(!m.alerts()[1].active); // a late update does not revive it
        QVERIFY(!m.showSOSPanel());

        m.dismiss(m.alerts().first()); // Bob's
        QCOMPARE(m.alerts().size(), 1);
        QVERIFY(!m.player()->sirenPlaying());
        QCOMPARE(panel.count(), 2);
    }

    // A member holds the key and makes up SOS and sender IDs: new alerts are paced per channel and per
    // sender, each channel and the whole list are capped, and ended alerts make room first.
    void aMemberCannotFloodTheAlerts() {
        auto& m = make();
        TRKLog::flush();
        QFile log(TRKLog::file());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const qint64 logStart = log.size();
        for (int i = 0; i < 2000; ++i) {
            rig.clock->advance(0.01);
            m.receiveSealed(sealed(a, PacketKind::sos, 10000 + i, 1, 0x100000 + i, record("Mallory")));
        }
        QCOMPARE(m.alerts().size(), WalkieModel::maxNewAlertsPerChannel);
        TRKLog::flush();
        QVERIFY(log.seek(logStart));
        const QByteArray logged = log.readAll();
        QCOMPARE(logged.count("SOS refused on A: too many new alerts on the channel this minute"),
                 WalkieModel::maxPacedLogLines);
        QCOMPARE(logged.count("Many SOS records refused; not logging more of them this minute"), 1);
        // One sender gets a few on another channel, never that channel's whole share.
        for (int i = 0; i < 10; ++i)
            m.receiveSealed(sealed(b, PacketKind::sos, 20000 + i, 1, 0xEE, record("Eve")));
        QCOMPARE(m.alerts().size(), WalkieModel::maxNewAlertsPerChannel + WalkieModel::maxNewAlertsPerSender);

        // A full channel: its ended alert goes first, then the ones least recently heard from.
        m.receiveSealed(sealed(a, PacketKind::sosCancel, 10002, 2, 0x100002, record("Mallory")));
        rig.clock->advance(1);
        m.receiveSealed(sealed(a, PacketKind::sosUpdate, 10000, 2, 0x100000, record("Mallory")));
        rig.clock->advance(60);
        for (int i = 0; i < 6; ++i) {
            rig.clock->advance(1);
            m.receiveSealed(sealed(a, PacketKind::sos, 30000 + i, 1, 0x300000 + i, record("Ann")));
        }
        QList<quint64> onA;
        for (const SOSAlert& al : m.alerts())
            if (al.channelID == a.channelID()) onA.append(al.id);
        QCOMPARE(onA, (QList<quint64>{30005, 30004, 30003, 30002, 30001, 30000, 10005, 10000}));
        QCOMPARE(WalkieModel::maxAlertsPerChannel, 8);

        // Many channels: the whole list keeps its cap, the newest stay.
        QList<Channel> many;
        for (int c = 0; c < 6; ++c)
            many.append(channel(QStringLiteral("C%1").arg(c)));
        m.setChannels(many);
        quint64 id = 50000;
        for (int minute = 0; minute < 2; ++minute) {
            rig.clock->advance(61);
            for (const Channel& c : std::as_const(many))
                for (int i = 0; i < WalkieModel::maxNewAlertsPerChannel; ++i, ++id)
                    m.receiveSealed(sealed(c, PacketKind::sos, id, 1, id, record("Zed")));
        }
        QCOMPARE(m.alerts().size(), WalkieModel::maxAlerts);
        QCOMPARE(m.alerts().first().id, id - 1);
        // Found by ID still after all the moves: the answer reaches the newest.
        m.respond(m.alerts().first());
        QCOMPARE(m.alerts().first().responders, QStringList{QStringLiteral("You")});
    }

    void answeringAnAlertReachesItsChannelEvenAfterARename() {
        auto& m = make();
        m.receiveSealed(sealed(a, PacketKind::sos, 700, 1, 0xA, record("Ann")));
        QVERIFY(m.player()->sirenPlaying());
        QVERIFY(m.editChannel(a, QStringLiteral("Renamed"), std::nullopt));
        const SOSAlert alert = m.alerts().first();
        m.respond(alert);
        m.respond(alert);
        QCOMPARE(m.alerts().first().responders, QStringList{QStringLiteral("You")});
        QVERIFY(!m.player()->sirenPlaying());
        QTRY_COMPARE(other->opened(a, PacketKind::ack).size(), 2);
        const Packet ack = other->opened(a, PacketKind::ack).first();
        QCOMPARE(ack.txID, quint64(700));
        QCOMPARE(ack.seq, quint32(1));
        QCOMPARE(ack.payload, QByteArray("Tester"));
        QVERIFY(other->opened(b, PacketKind::ack).isEmpty());

        SOSAlert gone;
        gone.id = 12345;
        m.respond(gone); // not held: nothing
        m.dismiss(gone);
        QCOMPARE(m.alerts().size(), 1);
    }

    void recordCoding() {
        SOSInfo info;
        info.who = QStringLiteral("  Ann  ");
        info.time = QDateTime::fromMSecsSinceEpoch(1'800'000'000'250, Qt::UTC);
        info.lat = -33.9;
        info.lon = 151.2;
        info.accuracy = 12.5;
        info.battery = 40;
        info.automatic = true;
        const QByteArray json = info.toJson();
        const QJsonObject o = QJsonDocument::fromJson(json).object();
        QCOMPARE(o.value("auto").toBool(), true);
        QCOMPARE(o.value("time").toDouble(), 1'800'000'000.25);
        QCOMPARE(o.value("who").toString(), QStringLiteral("Ann"));
        const auto back = SOSInfo::fromJson(json);
        QVERIFY(back);
        QCOMPARE(back->time, info.time);
        QCOMPARE(back->lat, info.lat);
        QCOMPARE(back->battery, info.battery);
        QVERIFY(back->automatic && !back->silent);

        SOSInfo bare;
        bare.who = QStringLiteral("Bo");
        bare.time = info.time;
        const QJsonObject b = QJsonDocument::fromJson(bare.toJson()).object();
        QCOMPARE(b.keys(), (QStringList{"auto", "silent", "time", "who"})); // unknowns left out, no nulls

        const auto ok = SOSInfo::fromJson(R"({"who":"X","time":1,"extra":[1]})");
        QVERIFY(ok && !ok->silent && !ok->automatic && !ok->lat && !ok->battery);
        QCOMPARE(
            SOSInfo::fromJson(QByteArray("{\"who\":\"") + QByteArray(60, 'w') + "\",\"time\":1}")->who.size(),
            46);
        for (const char* bad :
             {R"({"time":1})", R"({"who":"  ","time":1})", R"({"who":5,"time":1})", R"({"who":"X"})",
              R"({"who":"X","time":"1"})", R"({"who":"X","time":1,"lat":1,"lon":2})",
              R"({"who":"X","time":1,"lat":91,"lon":2,"accuracy":1})",
              R"({"who":"X","time":1,"lat":1,"lon":-181,"accuracy":1})",
              R"({"who":"X","time":1,"lat":1,"lon":2,"accuracy":-1})",
              R"({"who":"X","time":1,"lat":null,"lon":2,"accuracy":1})",
              R"({"who":"X","time":1,"battery":50.5})", R"({"who":"X","time":1,"battery":101})",
              R"({"who":"X","time":1,"silent":"yes"})", R"({"who":"X","time":1,"auto":1})",
              R"({"who":"X","time":1e999})", R"(["who"])", "not json"})
            QVERIFY2(!SOSInfo::fromJson(bad), bad);
    }
};

MODEL_TEST_MAIN(ModelSOSTest)
#include "tst_model_sos.moc"

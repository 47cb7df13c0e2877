// Which links the model runs, how setting changes rebuild them, and what their status shows.
#include "ModelFixture.h"

#include "RelayTransport.h"

#include <QSignalSpy>
#include <QThread>
#include <QUdpSocket>

using namespace fixture;

namespace {
quint16 freePort() {
    QUdpSocket s;
    s.bind(QHostAddress::LocalHost, 0);
    return s.localPort();
}
} // namespace

class ModelLinksTest : public QObject {
    Q_OBJECT
    Rig rig;

private slots:
    void init() {
        resetSettings();
        rig = Rig();
    }
    void cleanup() { rig.model.reset(); }

    void homeNetworkFollowsItsSwitchAndOverrides() {
        OtherUnit other;
        Defaults::shared().setValue(QStringLiteral("useLAN"), false);
        auto& m = rig.make(linkedOptions(rig, other));
        QVERIFY(!m.lan());
        QCOMPARE(m.lanStatus(), QStringLiteral("LAN: off"));
        QSignalSpy lanChanged(&m, &WalkieModel::lanChanged);
        m.setUseLAN(true);
        QVERIFY(m.lan());
        QVERIFY(m.lanStatus() != QStringLiteral("LAN: off"));
        QCOMPARE(lanChanged.count(), 1);
        // Writing the same value still rebuilds the link.
        m.setUseLAN(true);
        QCOMPARE(lanChanged.count(), 3);
        QVERIFY(m.lan());

        const quint16 port = freePort();
        m.setLanPortOverride(port);
        QCOMPARE(m.lan()->port(), port);

        // The override set decides which links may run at all.
        m.setTransportsOverride(QSet<QString>{QStringLiteral("relay")});
        QVERIFY(!m.lan());
        QCOMPARE(m.lanStatus(), QStringLiteral("LAN: off"));
        QCOMPARE(m.lanUnits(), 0);
        m.setTransportsOverride(std::nullopt);
        QVERIFY(m.lan());
        m.setUseLAN(false);
        QVERIFY(!m.lan());
    }

    void typedPeersReachTheRunningLink() {
        OtherUnit other;
        auto o = rig.options(false, {QStringLiteral("lan")});
        o.lanPortOverride = 0;
        auto& m = rig.make(o);
        const Channel a = channel(QStringLiteral("A"));
        m.setChannels({a});
        QVERIFY(m.lan());
        LANTransport* before = m.lan();
        m.setDirectPeers(QStringLiteral("127.0.0.1:%1").arg(other.port()));
        QCOMPARE(m.lan(), before); // handed over, not rebuilt
        m.sendHello();
        QTRY_VERIFY(!other.opened(a, PacketKind::hello).isEmpty());
    }

    void packetsQueuedByAReplacedLinkAreDropped() {
        OtherUnit other;
        auto& m = rig.make(linkedOptions(rig, other));
        const Channel a = channel(QStringLiteral("A"));
        m.setChannels({a});
        QStringList events;
        m.onEvent = [&](const QString& e) { events.append(e); };
        other.hear(m.lan()->port());
        other.link->send(sealed(a, PacketKind::hello, 1, 1, 0xB, "Bea"));
        QTRY_COMPARE(events.size(), 1); // the path works

        // The link's thread takes the packet and queues it for the main thread; the link is rebuilt
        // before the main thread runs again, so what it queued belongs to a link that is gone.
        other.link->send(sealed(a, PacketKind::hello, 2, 1, 0xC, "Cal"));
        QThread::msleep(300);
        m.setUseLAN(true);
        QTest::qWait(200); // the old link's queued packet may not be heard in this time
        QCOMPARE(events, QStringList{QStringLiteral("HELLO from Bea on A")});
        QVERIFY(!m.roster().value(a.channelID()).contains(0xC));
        QVERIFY(m.lan());
    }

    void relayAndNearbyStartAndStop() {
        Defaults::shared().setValue(QStringLiteral("relayURL"), QStringLiteral("ws://127.0.0.1:9"));
        auto o = rig.options(false, {QStringLiteral("relay"), QStringLiteral("nearby")});
        o.allowNearby = false;
        auto& m = rig.make(o);
        QCOMPARE(m.nearbyStatus(), QStringLiteral("Nearby: off")); // not allowed for this model
        QTRY_VERIFY(m.relayStatus() != QStringLiteral("Relay: off"));
        QVERIFY(!m.relayUp());
        m.setUseRelay(false);
        QCOMPARE(m.relayStatus(), QStringLiteral("Relay: off"));
        QVERIFY(!m.relayUp());
        QVERIFY(m.peerCounts().isEmpty());
        rig.model.reset();

        o.allowNearby = true;
        auto& n = rig.make(o);
        QTRY_VERIFY(n.nearbyStatus() != QStringLiteral("Nearby: off"));
        n.setUseNearby(false);
        QCOMPARE(n.nearbyStatus(), QStringLiteral("Nearby: off"));
        QCOMPARE(n.nearbyPeers(), 0);
    }

    void theTimersDriveTheStepsOnTheirOwn() {
        OtherUnit other;
        auto o = linkedOptions(rig, other);
        o.clock.reset(); // the system clock
        o.runTimers = true;
        auto& m = rig.make(o);
        const Channel a = channel(QStringLiteral("A"));
        m.setChannels({a});
        m.receiveSealed(sealed(a, PacketKind::start, 1, 1, 0xB, "Bea"));
        QVERIFY(m.talk().isReceiving());
        m.startCheckIn(0);
        // Hellos at start and every 2 s; the reception reaped after 1.5 s of silence; the check-in expired.
        QTRY_VERIFY_WITH_TIMEOUT(other.opened(a, PacketKind::hello).size() >= 2, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(m.activity().size(), 1, 3000);
        QCOMPARE(m.activity().first().who, QStringLiteral("Bea"));
        QTRY_VERIFY_WITH_TIMEOUT(m.sosActive(), 3000);
        QVERIFY(!m.checkInDeadline().isValid());
    }

    void aStoppedRelayClearsItsCounts() {
        auto& m = rig.make();
        TransportStatus up;
        up.up = true;
        up.text = QStringLiteral("Relay: connected");
        up.peerCounts.insert(QStringLiteral("abc"), 2);
        m.receiveStatus(QStringLiteral("relay"), up);
        QVERIFY(m.relayUp());
        QCOMPARE(m.peerCounts().value(QStringLiteral("abc")), 2);
        m.receiveStatus(QStringLiteral("relay"), TransportStatus{RelayTransport::offText(), false, 0, {}});
        QVERIFY(!m.relayUp());
        QVERIFY(m.peerCounts().isEmpty());
    }
};

MODEL_TEST_MAIN(ModelLinksTest)
#include "tst_model_links.moc"

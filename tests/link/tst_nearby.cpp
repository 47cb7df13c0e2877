// The nearby link on loopback: the beacon's exact bytes, two units that find each other and keep
// exactly one session, packets both ways, peers that misbehave or fall silent being dropped, and a
// peer that stops reading missing packets instead of growing the unit's memory.
#include "Bytes.h"
#include "LinkTestSupport.h"
#include "NearbyTestSupport.h"
#include "NearbyTransport.h"
#include "NetInterfaces.h"
#include "TRKLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const QString looking = QStringLiteral("Nearby: looking for devices\u2026");
} // namespace

class NearbyTest : public QObject {
    Q_OBJECT
    QTemporaryDir logDir;
    quint16 port = 0;

private slots:
    void initTestCase() { LINK_TEST_INIT(logDir); }
    void init() { port = deadPort(); } // a fresh beacon port per test keeps the tests apart

    void beaconBytes() {
        const QByteArray b = NearbyTransport::encodeBeacon({0x0102030405060708ull, 0xBEEF});
        QCOMPARE(b, QByteArray::fromHex("514d544e01"
                                        "0102030405060708"
                                        "beef"
                                        "0a") +
                        "qmt-walkie");
        const auto back = NearbyTransport::decodeBeacon(b);
        QVERIFY(back);
        QCOMPARE(back->peerID, 0x0102030405060708ull);
        QCOMPARE(back->tcpPort, quint16(0xBEEF));

        QByteArray v2 = b;
        v2[4] = 2;
        QByteArray otherService = b;
        otherService[20] = 'X';
        QByteArray noPort = b;
        noPort[13] = noPort[14] = 0;
        QByteArray longer = b + "!";
        QByteArray lengthLies = b;
        lengthLies[15] = 9;
        for (const auto& bad : {v2, otherService, noPort, longer, lengthLies, b.left(15), QByteArray()})
            QVERIFY(!NearbyTransport::decodeBeacon(bad));
    }

    void twoUnitsMakeOneSessionAndTalkBothWays() {
        NearbyTransport a(quick(port)), b(quick(port));
        Sink sa, sb;
        sa.attach(a);
        sb.attach(b);
        QCOMPARE(a.status().text, QStringLiteral("Nearby: off"));
        a.start();
        QTRY_COMPARE(sa.lastText(), looking);
        b.start();
        QTRY_COMPARE(a.peerCount(), 1);
        QTRY_COMPARE(b.peerCount(), 1);
        QCOMPARE(sa.lastText(), QStringLiteral("Nearby: 1 device connected"));
        QCOMPARE(a.status().units, 1);
        QVERIFY(a.status().up);

        // Many beacons later there is still one session: each packet arrives exactly once.
        QTest::qWait(600); // several beacon periods pass
        const QByteArray small = sealedLike(1), big = sealedLike(2, 65000), back = sealedLike(3);
        a.send(small);
        a.send(big);
        b.send(back);
        QTRY_COMPARE(sb.count(), 2);
        QTRY_COMPARE(sa.count(), 1);
        QTest::qWait(300); // no second copy may arrive in this time
        QCOMPARE(sb.all(), (QList<QByteArray>{small, big}));
        QCOMPARE(sa.all(), QList<QByteArray>{back});
        QCOMPARE(a.peerCount(), 1);

        // A third unit: two devices each.
        NearbyTransport c(quick(port));
        c.start();
        QTRY_COMPARE(c.peerCount(), 2);
        QTRY_COMPARE(sa.lastText(), QStringLiteral("Nearby: 2 devices connected"));

        // One leaves: the others notice at once (the socket closes).
        c.stop();
        QTRY_COMPARE(a.peerCount(), 1);
        QCOMPARE(c.status().text, QStringLiteral("Nearby: off"));
    }

    void silentPeerIsDropped() {
        NearbyTransport a(quick(port));
        Sink sa;
        sa.attach(a);
        a.start();
        const auto beacon = hearBeacon(port);
        QVERIFY(beacon);
        QCOMPARE(beacon->peerID, a.peerID());
        FakePeer fake;
        QVERIFY(fake.dial(beacon->tcpPort));
        fake.introduce(1);
        QTRY_COMPARE(a.peerCount(), 1);
        // The unit introduces itself and then keeps the session alive with empty frames; the fake
        // never answers, so the unit hangs up after the silence limit.
        QVERIFY(fake.closedWithin(3000));
        const QByteArray expectedStart = framed(NearbyTransport::encodeBeacon(*beacon)) + QByteArray(4, '\0');
        QVERIFY(fake.received.startsWith(expectedStart));
        QTRY_COMPARE(a.peerCount(), 0);
        QTRY_COMPARE(sa.lastText(), looking);
    }

    void misbehavingSessionsAreClosed() {
        NearbyTransport a(quick(port));
        Sink sa;
        sa.attach(a);
        a.start();
        const auto beacon = hearBeacon(port);
        QVERIFY(beacon);

        FakePeer mute; // never introduces itself
        QVERIFY(mute.dial(beacon->tcpPort));
        FakePeer garbage;
        QVERIFY(garbage.dial(beacon->tcpPort));
        garbage.socket.write(framed("hello there, I am not a beacon"));
        FakePeer itself; // claims the unit's own ID
        QVERIFY(itself.dial(beacon->tcpPort));
        itself.introduce(a.peerID());
        QVERIFY(garbage.closedWithin(2000));
        QVERIFY(itself.closedWithin(2000));
        QVERIFY(mute.closedWithin(2000));

        FakePeer first, second;
        QVERIFY(first.dial(beacon->tcpPort));
        first.introduce(5);
        QTRY_COMPARE(a.peerCount(), 1);
        QVERIFY(second.dial(beacon->tcpPort));
        second.introduce(5); // the same unit again: the newer session goes
        QVERIFY(second.closedWithin(2000));
        QCOMPARE(a.peerCount(), 1);

        // After the introduction a frame shorter than any sealed packet ends the session.
        first.socket.write(framed(QByteArray(10, 'x')));
        QVERIFY(first.closedWithin(2000));
        QTRY_COMPARE(a.peerCount(), 0);
        QCOMPARE(sa.count(), 0);
    }

    // With every place taken a newcomer takes the longest-silent place of a session that never carried
    // an opened packet; sessions that did are never given up.
    void sessionsAreCappedAndOnlyUnprovenOnesGiveWay() {
        auto o = quick(port);
        o.maxSessions = 2;
        o.silenceMs = 10000; // the test's peers send no keep-alives
        o.newcomerGraceMs = 0;
        NearbyTransport a(o);
        Sink sa;
        sa.attach(a);
        a.start();
        const auto beacon = hearBeacon(port);
        QVERIFY(beacon);
        FakePeer one, two, three, four;
        QVERIFY(one.dial(beacon->tcpPort));
        one.introduce(11);
        QTRY_COMPARE(a.peerCount(), 1);
        QVERIFY(two.dial(beacon->tcpPort));
        two.introduce(12);
        QTRY_COMPARE(a.peerCount(), 2);
        auto prove = [&](FakePeer& peer, quint32 seq) {
            const QByteArray p = sealedLike(seq);
            peer.socket.write(framed(p));
            QTRY_VERIFY(sa.contains(p));
            a.packetOpened(p); // as the model says once it opened
        };
        prove(one, 1);
        QTest::qWait(100); // the next arrival comes measurably later

        QVERIFY(three.dial(beacon->tcpPort));
        three.introduce(13);
        QVERIFY(two.closedWithin(2000));
        QTRY_COMPARE(a.peerCount(), 2);
        prove(three, 3);
        QTest::qWait(100); // the next arrival comes measurably later
        QVERIFY(four.dial(beacon->tcpPort));
        QVERIFY(four.closedWithin(2000));
        QCOMPARE(a.peerCount(), 2);
        QCOMPARE(one.socket.state(), QAbstractSocket::ConnectedState);
        QCOMPARE(three.socket.state(), QAbstractSocket::ConnectedState);
    }

    void aPeerThatStopsReadingMissesPackets() {
        auto o = quick(port);
        o.silenceMs = 10000;   // the test's peer never sends keep-alives
        o.keepAliveMs = 10000; // and a quiet stream shows that the unit has nothing more to send
        o.writeLimit = 64 * 1024;
        NearbyTransport a(o);
        a.start();
        const auto beacon = hearBeacon(port);
        QVERIFY(beacon);
        // A peer that reads nothing for now.
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(beacon->tcpPort);
        QCOMPARE(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        const QByteArray hello = framed(NearbyTransport::encodeBeacon({1, 9}));
        QCOMPARE(::send(fd, hello.constData(), size_t(hello.size()), 0), ssize_t(hello.size()));
        QTRY_COMPARE(a.peerCount(), 1);

        // Far more than the socket buffers on both sides can hold.
        const quint32 total = 200;
        for (quint32 i = 0; i < total; ++i) {
            a.send(sealedLike(i, 65000));
            if (i % 50 == 49) QTest::qWait(50); // the unit's writer runs between bursts
        }
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains("is not keeping up, dropping packets"), 10000);

        // Now read everything the unit kept for this peer.
        QByteArray stream;
        auto drain = [&] {
            QElapsedTimer quiet;
            quiet.start();
            while (quiet.elapsed() < 300) {
                char buffer[65536];
                const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0) {
                    stream.append(buffer, n);
                    quiet.restart();
                } else {
                    QTest::qWait(5);
                }
            }
        };
        auto packetsIn = [&] {
            QList<quint32> seqs;
            qsizetype at = 0;
            while (stream.size() - at >= 4) {
                const quint32 length = *Bytes::readU32(stream, at);
                if (stream.size() - at - 4 < qsizetype(length)) break;
                if (length >= 69) seqs << seqOf(stream.mid(at + 4, length));
                at += 4 + length;
            }
            return seqs;
        };
        drain();
        const QList<quint32> got = packetsIn();
        QVERIFY2(!got.isEmpty(), "nothing arrived at all");
        QVERIFY2(got.size() < qsizetype(total),
                 "the unit buffered every packet for a peer that does not read");
        QCOMPARE(got.first(), 0u); // what fitted went out in order
        QVERIFY(std::is_sorted(got.begin(), got.end()));

        // Caught up, the peer gets packets again.
        const quint32 marker = 1000;
        a.send(sealedLike(marker));
        QTRY_VERIFY((drain(), packetsIn().contains(marker)));
        ::close(fd);

        QVERIFY(logText().contains("is not keeping up, dropping packets"));
    }

    void busyBeaconPortIsReported() {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        QCOMPARE(bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
        NearbyTransport a(quick(port));
        Sink sink;
        sink.attach(a);
        a.start();
        QTRY_COMPARE(
            sink.lastText(),
            QStringLiteral("Nearby: can't start (%1)").arg(QString::fromLocal8Bit(strerror(EADDRINUSE))));
        QVERIFY(!a.status().up);
        a.send(sealedLike(1));
        a.stop();
        close(fd);
    }

    void stopIsFinal() {
        NearbyTransport never;
        never.stop();
        NearbyTransport a(quick(port)), b(quick(port));
        Sink sa;
        sa.attach(a);
        a.start();
        a.start();
        b.start();
        QTRY_COMPARE(a.peerCount(), 1);
        a.stop();
        a.stop();
        const int statuses = sa.statusCount();
        b.send(sealedLike(1));
        a.send(sealedLike(2));
        QTest::qWait(200); // nothing may arrive or change in this time
        QCOMPARE(sa.statusCount(), statuses);
        QCOMPARE(sa.count(), 0);
        QCOMPARE(a.peerCount(), 0);
        QTRY_COMPARE(b.peerCount(), 0);
    }
};

QTEST_GUILESS_MAIN(NearbyTest)
#include "tst_nearby.moc"

// The nearby link against hostile peers on loopback: a session that floods small frames, silent
// connections that try to hold every place, and forged beacons that try to make the unit dial. Each
// attack is bounded in size and time, and a real peer must still be served.
#include "LinkTestSupport.h"
#include "NearbyTestSupport.h"
#include "SanitizerRoom.h"
#include "TRKLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <thread>

namespace {
// True once the other side has closed the connection (what it sent before is read and dropped).
bool closedWithin(int fd, int ms) {
    QElapsedTimer t;
    t.start();
    do {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0) {
            char buffer[4096];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN)) return true;
        }
        QCoreApplication::processEvents();
    } while (t.elapsed() < ms);
    return false;
}

// The unit's own beacon among others on the port.
std::optional<NearbyTransport::Beacon> beaconOf(const NearbyTransport& unit, quint16 port) {
    for (int i = 0; i < 20; ++i)
        if (auto b = hearBeacon(port, 1000); b && b->peerID == unit.peerID()) return b;
    return std::nullopt;
}

// Counts what a unit hands over without keeping the flood, and keeps the real packets (size 200).
struct CountingSink {
    struct State {
        QMutex lock;
        qint64 count = 0;
        QList<QByteArray> real;
    };
    std::shared_ptr<State> st = std::make_shared<State>();
    void attach(Transport& t) {
        t.setPacketHandler([st = st](const QByteArray& p) {
            QMutexLocker l(&st->lock);
            ++st->count;
            if (p.size() == 200) st->real.append(p);
        });
    }
    bool has(const QByteArray& p) const {
        QMutexLocker l(&st->lock);
        return st->real.contains(p);
    }
};
} // namespace

class NearbyLimitsTest : public QObject {
    Q_OBJECT
    QTemporaryDir logDir;
    quint16 port = 0;

private slots:
    void initTestCase() { LINK_TEST_INIT(logDir); }
    void init() { port = deadPort(); }

    // Any peer whose first frame looks like a beacon gets a session; one that then streams small frames
    // as fast as loopback allows is held to its read budget and frame rate, cut after 5 s over the
    // rate, and the real peer's packets keep arriving meanwhile.
    void aFloodingSessionIsCutAndTheRealPeerKeepsTalking() {
        auto o = quick(port);
        o.silenceMs = 10000;
        NearbyTransport a(o), b(quick(port));
        CountingSink sa;
        sa.attach(a);
        a.start();
        b.start();
        QTRY_COMPARE(a.peerCount(), 1);
        const auto beacon = beaconOf(a, port);
        QVERIFY(beacon);

        const int fd = connectFrom("127.0.0.2", beacon->tcpPort);
        QVERIFY(fd >= 0);
        const QByteArray hello = framed(NearbyTransport::encodeBeacon({7, 9}));
        QCOMPARE(::send(fd, hello.constData(), size_t(hello.size()), MSG_NOSIGNAL), ssize_t(hello.size()));
        QTRY_COMPARE(a.peerCount(), 2);
        const qint64 before = residentKiB();
        QElapsedTimer clock;
        clock.start();
        std::atomic<qint64> cutAfter{-1}, sent{0};
        std::thread flood([&] {
            QByteArray burst;
            for (quint32 i = 0; burst.size() < 64 * 1024; ++i)
                burst += framed(sealedLike(i, 69));
            while (clock.elapsed() < 15000) {
                const ssize_t n = ::send(fd, burst.constData(), size_t(burst.size()), MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += n;
            }
            cutAfter = clock.elapsed();
        });

        int delivered = 0, tried = 0;
        qint64 peak = before;
        while (cutAfter < 0 && clock.elapsed() < 15000) {
            const QByteArray marker = sealedLike(1000000 + quint32(++tried), 200);
            b.send(marker);
            delivered += QTest::qWaitFor([&] { return sa.has(marker); }, 2000) ? 1 : 0;
            peak = std::max(peak, residentKiB());
            QTest::qWait(100);
        }
        flood.join();
        ::close(fd);
        qInfo("flood cut after %lld ms (%lld bytes sent); %d of %d real packets arrived; memory +%lld KiB",
              qint64(cutAfter), qint64(sent), delivered, tried, peak - before);
        QVERIFY2(cutAfter >= 4000 && cutAfter < 10000, qPrintable(QString::number(cutAfter)));
        QVERIFY2(delivered >= tried - 1, qPrintable(QStringLiteral("%1 of %2").arg(delivered).arg(tried)));
        QVERIFY2(peak - before < memoryRoomKiB(32 * 1024), qPrintable(QStringLiteral("grew by %1 KiB").arg(peak - before)));
        QTRY_COMPARE(a.peerCount(), 1);
        QTRY_VERIFY(logText().contains("more than 200 frames a second for 5 s"));
    }

    // Sixteen silent connections from four addresses, re-opened from twenty addresses as they go,
    // cannot keep a real peer out or push it out again: at most four come from one address, a newcomer
    // takes an unproven place past its grace period, silent ones before introduced ones.
    void silentConnectionsCannotKeepARealPeerOut() {
        auto o = quick(port);
        o.firstFrameMs = 20000; // only the place rules clear them here, not the introduction limit
        o.silenceMs = 20000;
        o.newcomerGraceMs = 300;
        NearbyTransport a(o);
        a.start();
        const auto beacon = beaconOf(a, port);
        QVERIFY(beacon);
        std::vector<int> silent;
        for (const char* from : {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"}) {
            for (int i = 0; i < 4; ++i) {
                silent.push_back(connectFrom(from, beacon->tcpPort));
                QVERIFY(silent.back() >= 0);
            }
        }
        const int fifth = connectFrom("127.0.0.2", beacon->tcpPort);
        QVERIFY(closedWithin(fifth, 2000)); // a fifth from one address is refused
        ::close(fifth);
        // Within their grace period the places are kept even for a newcomer.
        const int early = connectFrom("127.0.0.6", beacon->tcpPort);
        QVERIFY(closedWithin(early, 2000));
        ::close(early);
        for (int fd : silent)
            QVERIFY(!closedWithin(fd, 0));
        QTest::qWait(400);

        // Past it, a newcomer from elsewhere takes the oldest silent place.
        const int newcomer = connectFrom("127.0.0.6", beacon->tcpPort);
        QVERIFY(closedWithin(silent.front(), 2000));
        QVERIFY(!closedWithin(newcomer, 100));

        // The attackers re-open whatever is closed from twenty addresses, while a real unit arrives: it
        // gets in, is never given up for one of them, and carries a packet. It keeps the usual quiet
        // keep-alive pace, so it is soon the longest silent.
        auto ob = quick(port);
        ob.keepAliveMs = 5000;
        ob.silenceMs = 20000;
        NearbyTransport b(ob);
        Sink sb;
        sb.attach(b);
        b.start();
        std::vector<int> churn{newcomer};
        QElapsedTimer t;
        t.start();
        int reopened = 0;
        while (t.elapsed() < 4000) {
            for (int& fd : silent) {
                if (fd < 0 || closedWithin(fd, 0)) {
                    if (fd >= 0) ::close(fd);
                    const QByteArray from = "127.0.1." + QByteArray::number(10 + reopened % 20);
                    fd = connectFrom(from.constData(), beacon->tcpPort);
                    ++reopened;
                }
            }
            QTest::qWait(50);
        }
        QVERIFY(reopened > 0);
        QTRY_COMPARE(b.peerCount(), 1);
        QCOMPARE(a.peerCount(), 1);
        const QByteArray p = sealedLike(42);
        a.send(p);
        QTRY_VERIFY(sb.contains(p));
        const QString bID = QStringLiteral("%1").arg(b.peerID(), 16, 16, QLatin1Char('0'));
        QCOMPARE(logText().count(("session with " + bID + " ended (its place went to a newcomer)").toUtf8()), 0);
        qInfo("%d silent connections re-opened", reopened);
        for (int fd : silent)
            if (fd >= 0) ::close(fd);
        for (int fd : churn)
            ::close(fd);
    }

    // Forged beacons naming many units at a port of the attacker's choosing: at most four dials are in
    // flight at once, and a unit not known to be real is dialled once, not again within 30 s.
    void forgedBeaconsAreDialledSparingly() {
        NearbyTransport a(quick(port)); // dials that are not introduced within 500 ms are given up
        a.start();
        QVERIFY(beaconOf(a, port));
        QTcpServer target;
        QVERIFY(target.listen(QHostAddress::LocalHost, 0));
        QList<QTcpSocket*> held;
        int total = 0, most = 0;
        // Counted from the kernel's view, so a close the test has not processed yet does not count.
        auto established = [](QTcpSocket* s) {
            tcp_info info{};
            socklen_t length = sizeof info;
            return ::getsockopt(int(s->socketDescriptor()), IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
                   info.tcpi_state == TCP_ESTABLISHED;
        };
        connect(&target, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket* s = target.nextPendingConnection()) {
                ++total;
                held << s;
                most = std::max(most, int(std::count_if(held.begin(), held.end(), established)));
            }
        });
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        constexpr int forged = 12;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 3000) {
            for (int k = 0; k < forged; ++k) {
                const QByteArray b =
                    NearbyTransport::encodeBeacon({~quint64(0) - quint64(k), target.serverPort()});
                ::sendto(fd, b.constData(), size_t(b.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            }
            QTest::qWait(50);
        }
        ::close(fd);
        qInfo("%d dials, at most %d at once", total, most);
        QVERIFY2(most <= 4, qPrintable(QString::number(most)));
        QVERIFY2(total >= 4 && total <= forged, qPrintable(QString::number(total)));
        qDeleteAll(held);

        // Only the subnet of the interface a beacon came in on is dialled.
        NetInterface lan{QStringLiteral("eth0"), 2, 0xC0A80105, 0xFFFFFF00, 0xC0A801FF, false};
        QVERIFY(NetInterfaces::onSubnet(0xC0A80163, lan));
        QVERIFY(!NetInterfaces::onSubnet(0xC0A80263, lan));
        QVERIFY(!NetInterfaces::onSubnet(0x08080808, lan));
        lan.netmask = 0;
        QVERIFY(!NetInterfaces::onSubnet(0xC0A80105, lan));
    }
};

QTEST_GUILESS_MAIN(NearbyLimitsTest)
#include "tst_nearby_limits.moc"

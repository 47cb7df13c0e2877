// The nearby link against hostile peers on loopback: a session that floods small frames, silent
// connections that try to hold every place, and forged beacons that try to make the unit dial. Each
// attack is bounded in size and time, and a real peer must still be served.
#include "LinkTestSupport.h"
#include "NearbyTestSupport.h"
#include "SanitizerRoom.h"
#include "TRKLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
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

    // Forty silent connections from twenty addresses, re-opened as fast as they are cut, while a real
    // unit dials in and asks radio checks: it gets in at its first dial and its checks are answered.
    void silentReconnectingAttackersCannotKeepARealPeerOut() {
        // The real unit dials: the one with the smaller ID does, so the attacked one has the larger.
        auto o = quick(port);
        o.firstFrameMs = 5000; // the usual limit, so only the place rules clear the attackers
        o.silenceMs = 5000;    // a unit busy with the attack may be late with a keep-alive
        auto ua = std::make_unique<NearbyTransport>(o), ub = std::make_unique<NearbyTransport>(o);
        if (ua->peerID() < ub->peerID()) std::swap(ua, ub);
        NearbyTransport& a = *ua;
        NearbyTransport& b = *ub;
        // The attacked unit answers each check as the radio does, and counts its sender as real.
        a.setPacketHandler([&a](const QByteArray& p) {
            a.packetOpened(p);
            a.send(p.left(p.size() - 16) + QByteArray(16, 'r'));
        });
        Sink sb;
        sb.attach(b);
        a.start();
        const auto beacon = beaconOf(a, port);
        QVERIFY(beacon);

        constexpr int attackers = 40, addresses = 20;
        std::atomic<bool> stop{false};
        std::atomic<qint64> connects{0};
        // Eight threads of five: together they re-open connections faster than the unit can take them,
        // which kept its worker accepting for seconds on end, with no turn for the real unit.
        auto attack = [&](int first, int count) {
            // Non-blocking, so that no attacker waits on a connection and a cut one is re-opened at once.
            std::vector<pollfd> fds(count, pollfd{-1, POLLIN, 0});
            while (!stop) {
                for (int k = 0; k < count; ++k) {
                    const int i = first + k;
                    if (fds[k].fd >= 0) continue;
                    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                    sockaddr_in local{}, to{};
                    local.sin_family = to.sin_family = AF_INET;
                    local.sin_addr.s_addr = htonl(0x7F00000A + quint32(i % addresses)); // 127.0.0.10 on
                    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                    to.sin_port = htons(beacon->tcpPort);
                    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
                    if (!bound || (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 &&
                                   errno != EINPROGRESS)) {
                        ::close(fd);
                        continue;
                    }
                    fds[k].fd = fd;
                    ++connects;
                }
                ::poll(fds.data(), nfds_t(fds.size()), 1);
                for (pollfd& p : fds) {
                    if (p.fd < 0 || !p.revents) continue;
                    char buffer[256]; // what the unit says is read and dropped; the attacker says nothing
                    const ssize_t n = ::recv(p.fd, buffer, sizeof buffer, MSG_DONTWAIT);
                    if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))) continue;
                    ::close(p.fd);
                    p.fd = -1;
                }
            }
            for (const pollfd& p : fds)
                if (p.fd >= 0) ::close(p.fd);
        };
        constexpr int threads = 8;
        std::vector<std::thread> attackThreads;
        for (int t = 0; t < threads; ++t)
            attackThreads.emplace_back(attack, t * attackers / threads, attackers / threads);
        auto joinAttack = qScopeGuard([&] { // also when a check below returns early
            stop = true;
            for (std::thread& t : attackThreads)
                if (t.joinable()) t.join();
        });
        // Every place is taken, and taken again as it is cut, before the real unit comes.
        QVERIFY(QTest::qWaitFor([&] { return connects > 10 * attackers; }, 10000));
        QTest::qWait(300);
        b.start();
        (void)QTest::qWaitFor([&] { return b.peerCount() == 1; }, 3000);
        constexpr int checks = 30;
        int answered = 0;
        QString pattern;
        for (int i = 0; i < checks; ++i) {
            const QByteArray check = sealedLike(quint32(i), 200);
            b.send(check);
            const QByteArray reply = check.left(check.size() - 16) + QByteArray(16, 'r');
            const bool ok = QTest::qWaitFor([&] { return sb.contains(reply); }, 1000);
            answered += ok ? 1 : 0;
            pattern += ok ? u'1' : u'0'; // which checks went unanswered, for a failure's log
            QTest::qWait(200);
        }
        joinAttack.dismiss();
        stop = true;
        for (std::thread& t : attackThreads)
            t.join();
        TRKLog::flush();
        const qsizetype refusals = logText().count("Nearby: refusing a session");
        qInfo("%s", qPrintable(pattern));
        if (answered < checks * 9 / 10) // what the units said, without the attack's own lines
            for (const QByteArray& line : logText().split('\n'))
                if (!line.contains("refus") && !line.contains("newcomer")) qInfo("%s", line.constData());
        qInfo("%d of %d radio checks answered; %lld silent connections; %lld refusal lines", answered, checks,
              qint64(connects), qint64(refusals));
        QVERIFY2(answered >= checks * 9 / 10,
                 qPrintable(QStringLiteral("%1 of %2").arg(answered).arg(checks)));
        QVERIFY(connects > attackers);
    }

    // Places that say nothing give way: a third from one address takes that address's oldest, a unit
    // that introduces itself takes one from the address holding the most. With every place held by
    // units, newcomers are refused, and the refusals are logged a few at a time.
    void silentPlacesGiveWayAndRefusalsArePaced() {
        auto o = quick(port);
        o.maxSessions = 3;
        o.firstFrameMs = 20000;
        o.silenceMs = 20000;       // the test's peers send no keep-alives
        o.newcomerGraceMs = 60000; // units keep their places for the whole test
        o.refusalLogWindowMs = 1500;
        const qsizetype logBefore = logText().size();
        NearbyTransport a(o);
        a.start();
        const auto beacon = beaconOf(a, port);
        QVERIFY(beacon);
        const int first = connectFrom("127.0.0.2", beacon->tcpPort);
        const int second = connectFrom("127.0.0.2", beacon->tcpPort);
        QTest::qWait(50);
        const int third = connectFrom("127.0.0.2", beacon->tcpPort);
        QVERIFY(closedWithin(first, 2000));
        const int other = connectFrom("127.0.0.3", beacon->tcpPort);
        QVERIFY(!closedWithin(second, 200) && !closedWithin(third, 0) && !closedWithin(other, 0));

        FakePeer one, two, three;
        const std::pair<FakePeer*, int> units[] = {{&one, 11}, {&two, 12}, {&three, 13}};
        for (auto [peer, id] : units) {
            QVERIFY(peer->dial(beacon->tcpPort));
            peer->introduce(quint64(id));
            QTRY_COMPARE(a.peerCount(), id - 10);
            // 127.0.0.2 held two places, so its oldest went first; then the oldest.
            if (id == 11)
                QVERIFY(closedWithin(second, 2000) && !closedWithin(third, 0) && !closedWithin(other, 0));
        }
        QVERIFY(closedWithin(third, 2000) && closedWithin(other, 2000));

        for (int round = 0; round < 2; ++round) {
            for (int i = 0; i < 100; ++i) {
                const int fd = connectFrom("127.0.0.4", beacon->tcpPort);
                QVERIFY(closedWithin(fd, 2000));
                ::close(fd);
            }
            QTest::qWait(1600); // the next window sums up this one
        }
        const int last = connectFrom("127.0.0.4", beacon->tcpPort);
        QVERIFY(closedWithin(last, 2000));
        // Each refusal is either logged or counted in a later summary line, and few are logged.
        const QString log = QString::fromUtf8(logText().mid(logBefore));
        const qsizetype lines = log.count(QStringLiteral("Nearby: refusing a session, 3 already open"));
        qsizetype summed = 0;
        static const QRegularExpression summary(
            QStringLiteral("Nearby: refused (\\d+) more sessions in the last minute, not logged one by one"));
        for (auto it = summary.globalMatch(log); it.hasNext();)
            summed += it.next().captured(1).toInt();
        qInfo("201 refusals: %lld lines, %lld summed up", qint64(lines), qint64(summed));
        QCOMPARE(lines + summed, 201);
        QVERIFY2(lines <= 40, qPrintable(QString::number(lines)));
        QCOMPARE(a.peerCount(), 3);
        for (int fd : {first, second, third, other, last})
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

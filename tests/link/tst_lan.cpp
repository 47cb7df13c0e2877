// The home-network link on loopback: two units on different ports exchange packets through typed
// peers, own datagrams coming back are counted and never delivered, heard addresses expire, the
// send queue stays bounded, interfaces that come and go are picked up, and the status texts follow
// what the link sees.
#include "LANTransport.h"
#include "LinkTestSupport.h"
#include "TRKLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {
LANTransport::Options onLoopback(const QString& peers = {}) {
    LANTransport::Options o;
    o.port = 0;
    o.interfaces = QStringList{QStringLiteral("lo")};
    o.directPeers = peers;
    return o;
}
QString local(quint16 port) {
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

// Moves the calling thread into a fresh network namespace until destroyed, so a test can add and
// remove interfaces where no other test looks. Sockets, threads and child processes made meanwhile
// belong to it.
class PrivateNetwork {
public:
    PrivateNetwork() : home_(open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC)) {
        if (home_ < 0 || unshare(CLONE_NEWNET) != 0) error_ = QString::fromLocal8Bit(strerror(errno));
    }
    ~PrivateNetwork() {
        if (error_.isEmpty()) setns(home_, CLONE_NEWNET);
        if (home_ >= 0) close(home_);
    }
    std::optional<QString> refusal() const {
        if (error_.isEmpty()) return std::nullopt;
        return QStringLiteral("cannot make a network namespace: ") + error_;
    }
    static bool ip(const QStringList& args) {
        const QString tool =
            QStandardPaths::findExecutable(QStringLiteral("ip"), {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
        QProcess p;
        p.start(tool, args);
        return p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

private:
    int home_;
    QString error_;
};
} // namespace

class LanTest : public QObject {
    Q_OBJECT
    QTemporaryDir logDir;

private slots:
    void initTestCase() { LINK_TEST_INIT(logDir); }

    void typedPeers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("peers");
        QTest::addColumn<QStringList>("rejected");
        QTest::newRow("empty") << "" << QStringList{} << QStringList{};
        QTest::newRow("spaces and empty entries")
            << " 10.0.0.1 , ,10.0.0.2:5000," << QStringList{"10.0.0.1:48787", "10.0.0.2:5000"}
            << QStringList{};
        QTest::newRow("duplicates merged")
            << "10.0.0.1,10.0.0.1:48787" << QStringList{"10.0.0.1:48787"} << QStringList{};
        QTest::newRow("names are not looked up")
            << "printer.local, 10.0.0.3" << QStringList{"10.0.0.3:48787"} << QStringList{"printer.local"};
        QTest::newRow("bad addresses") << "10.0.0.256,1.2.3,::1,:5000" << QStringList{}
                                       << QStringList{"10.0.0.256", "1.2.3", "::1", ":5000"};
        QTest::newRow("bad ports") << "10.0.0.1:0,10.0.0.1:65536,10.0.0.1:+5,10.0.0.1:,10.0.0.1:5:6"
                                   << QStringList{}
                                   << QStringList{"10.0.0.1:0", "10.0.0.1:65536", "10.0.0.1:+5",
                                                  "10.0.0.1:", "10.0.0.1:5:6"};
        QTest::newRow("highest port")
            << "192.168.1.20:65535" << QStringList{"192.168.1.20:65535"} << QStringList{};
    }
    void typedPeers() {
        QFETCH(QString, text);
        QFETCH(QStringList, peers);
        QFETCH(QStringList, rejected);
        const auto parsed = LANTransport::parseDirectPeers(text, 48787);
        QStringList got;
        for (const auto& p : parsed.peers)
            got << NetInterfaces::addressText(p.address) + ":" + QString::number(p.port);
        QCOMPARE(got, peers);
        QCOMPARE(parsed.rejected, rejected);
    }

    void interfaceRules() {
        const quint32 host = *NetInterfaces::parseAddress("192.168.1.20");
        QCOMPARE(NetInterfaces::broadcastFor(host, 0xffffff00, std::nullopt),
                 NetInterfaces::parseAddress("192.168.1.255"));
        QCOMPARE(NetInterfaces::broadcastFor(host, 0xfffffffc, std::nullopt),
                 NetInterfaces::parseAddress("192.168.1.23"));
        QCOMPARE(NetInterfaces::broadcastFor(host, 0xfffffffe, std::nullopt), std::nullopt);
        QCOMPARE(NetInterfaces::broadcastFor(host, 0xffffffff, std::nullopt), std::nullopt);
        // What the system reports wins, even over a computed one.
        QCOMPARE(NetInterfaces::broadcastFor(host, 0xffffff00, 0x0a0000ff),
                 std::optional<quint32>(0x0a0000ff));

        // Loopback is used only when named; it has no broadcast address of its own.
        QVERIFY(NetInterfaces::usable(std::nullopt).isEmpty());
        QVERIFY(NetInterfaces::usable(QStringList{}).isEmpty());
        QVERIFY(NetInterfaces::usable(QStringList{"nosuch0"}).isEmpty());
        const auto lo = NetInterfaces::usable(QStringList{"lo"});
        QCOMPARE(lo.size(), 1);
        QVERIFY(lo[0].loopback);
        QCOMPARE(NetInterfaces::addressText(lo[0].address), QStringLiteral("127.0.0.1"));
        QCOMPARE(lo[0].broadcast, NetInterfaces::parseAddress("127.255.255.255"));
    }

    void bothWaysWithEchoesKeptApart() {
        LANTransport a(onLoopback()), b(onLoopback());
        Sink sa, sb;
        sa.attach(a);
        sb.attach(b);
        a.start();
        b.start();
        QVERIFY(a.port() != 0 && a.port() != b.port());
        a.setDirectPeers(local(b.port()));
        b.setDirectPeers(local(a.port()));
        QTRY_COMPARE(sa.lastText(),
                     QStringLiteral("LAN: listening on UDP %1, no other unit heard yet").arg(a.port()));

        const QByteArray fromA = sealedLike(1, 3269), fromB = sealedLike(2);
        a.send(fromA);
        b.send(fromB);
        QTRY_COMPARE(sb.all(), QList<QByteArray>{fromA});
        QTRY_COMPARE(sa.all(), QList<QByteArray>{fromB});

        // On lo each packet goes to the group, to 127.255.255.255 and to the typed peer; the first
        // two come back to the sender itself, through loopback.
        QTRY_COMPARE(a.counters().loopbackEchoes, 2);
        QTRY_COMPARE(a.counters().sent, 3);
        QCOMPARE(a.counters().received, 1);
        QCOMPARE(a.counters().networkEchoes, 0);
        QCOMPARE(a.counters().errors, 0);
        QCOMPARE(a.counters().lastError, std::nullopt);
        QCOMPARE(a.counters().heardAddresses, QStringList{"127.0.0.1"});
        QCOMPARE(a.counters().unitsHeard, 1);
        QTRY_COMPARE(sa.lastText(), QStringLiteral("LAN: hearing 1 unit"));
        QCOMPARE(a.status().units, 1);
        QVERIFY(a.status().up);

        // A third unit makes it plural, counted by its own port even on the same address.
        LANTransport c(onLoopback(local(a.port())));
        c.start();
        c.send(sealedLike(3));
        QTRY_COMPARE(sa.lastText(), QStringLiteral("LAN: hearing 2 units"));
        QCOMPARE(a.counters().heardAddresses, QStringList{"127.0.0.1"});
        QVERIFY(!sa.contains(fromA));
    }

    void onlyPacketShapedDatagramsCount() {
        LANTransport a(onLoopback());
        Sink sa;
        sa.attach(a);
        a.start();
        QUdpSocket raw;
        const QByteArray good = sealedLike(7, 69);
        QByteArray tooShort = sealedLike(8, 69);
        tooShort.chop(1);
        QByteArray foreign = sealedLike(9);
        foreign[3] = '2';
        const QByteArray tooLong = sealedLike(10, 65001);
        const QByteArray longest = sealedLike(11, 65000);
        for (const auto& d : {tooShort, foreign, tooLong, good, longest})
            QVERIFY(raw.writeDatagram(d, QHostAddress::LocalHost, a.port()) == d.size());
        QTRY_COMPARE(sa.count(), 2);
        QCOMPARE(sa.all(), (QList<QByteArray>{good, longest}));
        QCOMPARE(a.counters().received, 2);
    }

    void heardAddressesExpire() {
        auto o = onLoopback();
        o.heardExpiryMs = 500;
        LANTransport a(o);
        Sink sa;
        sa.attach(a);
        a.start();
        QUdpSocket raw;
        raw.writeDatagram(sealedLike(1), QHostAddress::LocalHost, a.port());
        QTRY_COMPARE(a.counters().heardAddresses, QStringList{"127.0.0.1"});
        QTRY_COMPARE(sa.lastText(), QStringLiteral("LAN: hearing 1 unit"));
        // Heard again within the window: the clock restarts.
        QTest::qWait(300); // part of the window passes
        raw.writeDatagram(sealedLike(2), QHostAddress::LocalHost, a.port());
        QTest::qWait(300); // past the first hearing's window: it may not expire in this time
        QCOMPARE(a.counters().unitsHeard, 1);
        QTRY_COMPARE(a.counters().heardAddresses, QStringList{});
        QCOMPARE(a.counters().unitsHeard, 0);
        QTRY_COMPARE(sa.lastText(),
                     QStringLiteral("LAN: listening on UDP %1, no other unit heard yet").arg(a.port()));
    }

    // Made-up sources (each address and port counts as a unit) must not flood the log: the first ten
    // of a window are named, the rest summed up once the window has passed.
    void newUnitsAreLoggedSparingly() {
        auto o = onLoopback();
        o.heardLogWindowMs = 1500;
        LANTransport a(o);
        a.start();
        const QByteArray before = logText();
        std::vector<std::unique_ptr<QUdpSocket>> sources;
        for (int i = 0; i < 30; ++i) {
            sources.push_back(std::make_unique<QUdpSocket>());
            sources.back()->writeDatagram(sealedLike(quint32(i)), QHostAddress::LocalHost, a.port());
        }
        QTRY_COMPARE(a.counters().unitsHeard, 30);
        QVERIFY(a.status().text.contains(QStringLiteral("hearing 30 units")));
        QTest::qWait(1600); // the log window passes
        QUdpSocket late;
        late.writeDatagram(sealedLike(99), QHostAddress::LocalHost, a.port());
        QTRY_COMPARE(a.counters().unitsHeard, 31);
        // The line is written just after the unit is counted.
        QTRY_COMPARE(logText().mid(before.size()).count("LAN: heard a unit at 127.0.0.1:"), 11);
        const QByteArray added = logText().mid(before.size());
        QCOMPARE(added.count("LAN: heard 20 more new unit(s) in the last minute"), 1);
        QVERIFY(added.contains("LAN: heard a unit at 127.0.0.1:" + QByteArray::number(late.localPort())));
    }

    void networkPathVerdicts() {
        // No usable interface: typed addresses only, and the path question has no answer.
        {
            LANTransport::Options o;
            o.port = 0;
            o.interfaces = QStringList{};
            LANTransport peer(onLoopback());
            peer.start();
            o.directPeers = local(peer.port());
            LANTransport a(o);
            Sink sa;
            sa.attach(a);
            a.start();
            QTRY_COMPARE(sa.lastText(), QStringLiteral("LAN: no network interface (typed addresses only)"));
            for (quint32 i = 0; i < 5; ++i)
                a.send(sealedLike(i));
            QTRY_COMPARE(a.counters().sent, 5);
            QCOMPARE(a.counters().networkPathOK, std::nullopt);
        }
        // Loopback only: echoes come back through loopback, never through a network, so once the
        // third send is old enough the path counts as blocked; before that it is unknown.
        auto o = onLoopback();
        o.pathVerdictMs = 1500;
        LANTransport a(o);
        a.start();
        a.send(sealedLike(1));
        QTRY_COMPARE(a.counters().sent, 2);
        QCOMPARE(a.counters().networkPathOK, std::nullopt);
        a.send(sealedLike(2));
        QTRY_COMPARE(a.counters().sent, 4);
        QCOMPARE(a.counters().networkPathOK, std::nullopt); // an echo could still be on its way
        QTRY_COMPARE(a.counters().networkPathOK, std::optional<bool>(false));
        QVERIFY(a.counters().loopbackEchoes >= 3);
        QCOMPARE(a.counters().networkEchoes, 0);
    }

    // A refused send shows in the status and clears with the next good one; a refusal on every
    // datagram (a firewall) is logged for the first few of each window and then summed up.
    void failedSendsShowAndClear() {
        LANTransport peer(onLoopback());
        peer.start();
        LANTransport::Options o;
        o.port = 0;
        o.interfaces = QStringList{};
        o.directPeers = local(peer.port());
        o.sendFailLogWindowMs = 3000;
        LANTransport a(o);
        Sink sa;
        sa.attach(a);
        const QByteArray before = logText();
        a.start();
        // Larger than any datagram can be: the only destination refuses it.
        a.send(sealedLike(1, 70000));
        QTRY_COMPARE(a.counters().errors, 1);
        const QString reason = QString::fromLocal8Bit(strerror(EMSGSIZE));
        QCOMPARE(a.counters().lastError, std::optional<QString>(reason));
        QTRY_COMPARE(sa.lastText(), QStringLiteral("LAN: can't send (%1)").arg(reason));
        QCOMPARE(a.counters().sent, 0);
        a.send(sealedLike(2));
        QTRY_COMPARE(a.counters().sent, 1);
        QTRY_COMPARE(sa.lastText(), QStringLiteral("LAN: no network interface (typed addresses only)"));
        QCOMPARE(a.counters().lastError, std::optional<QString>(reason)); // kept for the report

        for (quint32 i = 0; i < 40; ++i)
            a.send(sealedLike(100 + i, 70000));
        QTRY_COMPARE(a.counters().errors, 41);
        QTest::qWait(3100); // the failure log's window passes
        a.send(sealedLike(200, 70000));
        QTRY_VERIFY(logText().mid(before.size()).contains(
            "LAN: 31 more sends failed in the last minute, not logged one by one"));
        QTRY_COMPARE(logText().mid(before.size()).count("LAN: send to "), 11);
    }

    void busyPortIsReported() {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        socklen_t len = sizeof sa;
        QCOMPARE(bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
        getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
        const quint16 taken = ntohs(sa.sin_port);
        auto o = onLoopback();
        o.port = taken;
        LANTransport a(o);
        Sink sink;
        sink.attach(a);
        a.start();
        const QString expected = QStringLiteral("LAN: can't open UDP port %1 (%2)")
                                     .arg(taken)
                                     .arg(QString::fromLocal8Bit(strerror(EADDRINUSE)));
        QTRY_COMPARE(sink.lastText(), expected);
        QCOMPARE(a.status().text, expected);
        QVERIFY(!a.status().up);
        a.send(sealedLike(1)); // harmless
        a.stop();
        a.stop();
        close(fd);
    }

    void queueKeepsTheNewestWhenTheNetworkLags() {
        LANTransport live(onLoopback());
        Sink sl;
        sl.attach(live);
        live.start();
        LANTransport::Options o;
        o.port = 0;
        o.interfaces = QStringList{};
        o.directPeers = local(deadPort()) + "," + local(live.port());
        LANTransport a(o);
        // Queued before the sender runs, so the queue overflows for certain.
        for (quint32 i = 0; i < 1000; ++i)
            a.send(sealedLike(i));
        QCOMPARE(a.queuedCount(), 256);
        a.start();
        QTRY_COMPARE(a.counters().sent, 512);
        QCOMPARE(a.queuedCount(), 0);
        QTRY_VERIFY(sl.count() > 0);
        QTRY_VERIFY(!sl.all().isEmpty() && seqOf(sl.all().last()) == 999);
        for (const auto& p : sl.all())
            QVERIFY2(seqOf(p) >= 744, "an old packet was sent instead of a newer one");
    }

    void typedPeersSwapAndBadEntriesAreLoggedOncePerChange() {
        LANTransport b(onLoopback()), c(onLoopback());
        Sink sb, sc;
        sb.attach(b);
        sc.attach(c);
        b.start();
        c.start();
        auto o = onLoopback(local(b.port()));
        o.interfaces = QStringList{};
        LANTransport a(o);
        a.start();
        const QByteArray first = sealedLike(1), second = sealedLike(2);
        a.send(first);
        QTRY_COMPARE(sb.all(), QList<QByteArray>{first});
        a.setDirectPeers(local(c.port()) + ", not-an-address");
        a.setDirectPeers(local(c.port()) + ", not-an-address");
        a.send(second);
        QTRY_COMPARE(sc.all(), QList<QByteArray>{second});
        QCOMPARE(sb.count(), 1);
        a.setDirectPeers("not-an-address");
        QCOMPARE(logText().count("skipping typed peer \"not-an-address\""), 2);
    }

    void interfacesAreListedAgain() {
        PrivateNetwork net;
        if (auto why = net.refusal()) {
            if (NetworkGuard::strict()) QFAIL(qPrintable(*why));
            QSKIP(qPrintable(*why));
        }
        // Only loopback and this veth pair exist here, so the group and broadcast sends stay on them.
        QVERIFY(PrivateNetwork::ip({"link", "set", "lo", "up"}));
        auto o = onLoopback(QStringLiteral("127.0.0.1:9")); // nothing listens there
        o.interfaces = QStringList{QStringLiteral("tkrelist0")};
        o.relistMs = 200;
        o.pathVerdictMs = 100;
        LANTransport lan(o);
        Sink sink;
        sink.attach(lan);
        lan.start();
        QTRY_COMPARE(sink.lastText(), QStringLiteral("LAN: no network interface (typed addresses only)"));
        for (quint32 i = 0; i < 3; ++i)
            lan.send(sealedLike(i));
        QTRY_COMPARE(lan.counters().sent, 3);
        QTest::qWait(200); // past the verdict time: no verdict may come
        QCOMPARE(lan.counters().networkPathOK, std::nullopt);

        for (const QStringList& step :
             {QStringList{"link", "add", "tkrelist0", "type", "veth", "peer", "name", "tkrelist1"},
              QStringList{"addr", "add", "169.254.78.1/24", "brd", "+", "dev", "tkrelist0"},
              QStringList{"link", "set", "tkrelist0", "up"}, QStringList{"link", "set", "tkrelist1", "up"},
              QStringList{"route", "add", "224.0.0.0/4", "dev", "tkrelist0"}})
            QVERIFY2(PrivateNetwork::ip(step), qPrintable(step.join(' ')));
        QTRY_COMPARE(sink.lastText(),
                     QStringLiteral("LAN: listening on UDP %1, no other unit heard yet").arg(lan.port()));
        // Nothing went out on the new interface yet, so nothing can have failed to come back: the
        // datagrams to the typed address never echo and prove nothing.
        QCOMPARE(lan.counters().networkPathOK, std::nullopt);

        // The new interface carries the group (joined on it) and its broadcast, and own datagrams
        // come back through a network interface: the path is open.
        for (quint32 i = 3; i < 6; ++i)
            lan.send(sealedLike(i));
        QTRY_COMPARE(lan.counters().sent, 12);
        QTRY_VERIFY(lan.counters().networkEchoes >= 6); // multicast only comes back once the group was joined
        QCOMPARE(lan.counters().networkPathOK, std::optional<bool>(true));
        QCOMPARE(lan.counters().received, 0);

        QVERIFY(PrivateNetwork::ip({"link", "del", "tkrelist0"}));
        QTRY_COMPARE(sink.lastText(), QStringLiteral("LAN: no network interface (typed addresses only)"));
        QCOMPARE(lan.counters().networkPathOK, std::nullopt);
        lan.send(sealedLike(6));
        QTRY_COMPARE(lan.counters().sent, 13);
        QTest::qWait(100); // no second send may follow in this time
        QCOMPARE(lan.counters().sent, 13);
    }

    // Forty units heard at once: the status follows once the burst settles, no sooner than 100 ms
    // after the last one, and only with what changed; the busy link does not report every datagram.
    void aBurstOfUnitsIsReportedAtAMeasuredPace() {
        LANTransport a(onLoopback());
        struct Seen {
            QMutex lock;
            QList<std::pair<qint64, TransportStatus>> statuses; // steady ms, status
        };
        auto seen = std::make_shared<Seen>();
        QElapsedTimer clock;
        clock.start();
        a.setStatusHandler([seen, clock](const TransportStatus& s) {
            QMutexLocker l(&seen->lock);
            seen->statuses.append({clock.elapsed(), s});
        });
        a.start();
        const auto last = [&] {
            QMutexLocker l(&seen->lock);
            return seen->statuses.isEmpty() ? QString() : seen->statuses.last().second.text;
        };
        QTRY_VERIFY(!last().isEmpty());
        constexpr int units = 40;
        std::vector<std::unique_ptr<QUdpSocket>> sockets;
        for (int i = 0; i < units; ++i) {
            sockets.push_back(std::make_unique<QUdpSocket>());
            QVERIFY(sockets.back()->bind(QHostAddress::LocalHost, 0));
        }
        for (int round = 0; round < 3; ++round)
            for (int i = 0; i < units; ++i)
                sockets[size_t(i)]->writeDatagram(sealedLike(quint32(round * units + i)),
                                                  QHostAddress::LocalHost, a.port());
        QTRY_COMPARE(last(), QStringLiteral("LAN: hearing %1 units").arg(units));
        QTRY_COMPARE(a.counters().received, 3 * units);
        QTest::qWait(300); // the last paced status comes in this time, and no more
        QMutexLocker l(&seen->lock);
        const auto& st = seen->statuses;
        QVERIFY2(st.size() < units / 2, qPrintable(QString::number(st.size())));
        for (qsizetype i = 1; i < st.size(); ++i) {
            QVERIFY2(st[i].first - st[i - 1].first >= 95,
                     qPrintable(QStringLiteral("%1 ms apart").arg(st[i].first - st[i - 1].first)));
            QVERIFY(st[i].second.text != st[i - 1].second.text ||
                    st[i].second.units != st[i - 1].second.units);
        }
    }

    void stopIsFinal() {
        LANTransport never;
        never.stop(); // never started
        never.stop();
        QCOMPARE(never.status().text, QStringLiteral("LAN: off"));

        LANTransport a(onLoopback());
        Sink sa;
        sa.attach(a);
        a.start();
        a.start(); // once only
        const quint16 port = a.port();
        QTRY_VERIFY(sa.statusCount() > 0);
        a.stop();
        a.stop();
        const int packets = sa.count(), statuses = sa.statusCount();
        QUdpSocket raw;
        raw.writeDatagram(sealedLike(1), QHostAddress::LocalHost, port);
        a.send(sealedLike(2));
        QTest::qWait(100); // nothing may arrive or change in this time
        QCOMPARE(sa.count(), packets);
        QCOMPARE(sa.statusCount(), statuses);
        QCOMPARE(a.status().text, QStringLiteral("LAN: off"));
        QCOMPARE(a.queuedCount(), 0);
    }
};

QTEST_GUILESS_MAIN(LanTest)
#include "tst_lan.moc"

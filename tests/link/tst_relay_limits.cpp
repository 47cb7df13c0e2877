// The relay and the relay link against hostile peers on loopback: frames announced far beyond any
// packet, a client that never reads, connections that never join, many connections from one address.
// Each attack is bounded in size and time; the relay's memory is read from /proc, and well-behaved
// clients must still be served.
#include "RelayProtocol.h"
#include "RelayTestSupport.h"
#include "RelayTransport.h"
#include "SanitizerRoom.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QWebSocketServer>
#include <QtTest>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {
const QString chA = QStringLiteral("00112233445566778899aabbccddeeff");

// A WebSocket peer spoken by hand on a plain socket, so a test can do what a good peer never does:
// pick its loopback source address, stop reading, announce a frame it never finishes.
class RawPeer {
public:
    RawPeer() = default;
    RawPeer(const RawPeer&) = delete;
    ~RawPeer() {
        if (fd >= 0) ::close(fd);
    }

    // Connects from `from` to 127.0.0.1:port and completes the client handshake.
    bool open(const char* from, quint16 port, int receiveBuffer = 0) {
        fd = connectFrom(from, port, receiveBuffer);
        if (fd < 0) return false;
        timeval tv{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        const QByteArray request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                                   "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                   "Sec-WebSocket-Version: 13\r\n\r\n";
        if (!write(request)) return false;
        QByteArray response;
        char c;
        while (!response.endsWith("\r\n\r\n") && response.size() < 4096 && ::recv(fd, &c, 1, 0) == 1)
            response.append(c);
        return response.startsWith("HTTP/1.1 101");
    }

    bool write(const QByteArray& bytes) {
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += n;
        }
        return true;
    }
    // A client frame header: final, masked (with a zero mask, so the payload goes as it is).
    static QByteArray header(int opcode, quint64 length) {
        QByteArray h(1, char(0x80 | opcode));
        if (length < 126) {
            h.append(char(0x80 | length));
        } else if (length < 65536) {
            h.append(char(0x80 | 126));
            h.append(char(length >> 8)).append(char(length));
        } else {
            h.append(char(0x80 | 127));
            for (int i = 7; i >= 0; --i)
                h.append(char(length >> (8 * i)));
        }
        return h.append(QByteArray(4, '\0'));
    }
    bool frame(int opcode, const QByteArray& payload) {
        return write(header(opcode, payload.size()) + payload);
    }

    // Still connected as far as the kernel knows: no close, reset or end from the other side.
    bool alive() const {
        tcp_info info{};
        socklen_t length = sizeof info;
        return ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
               info.tcpi_state == TCP_ESTABLISHED;
    }
    // The next server frame's payload and opcode; no opcode when the connection ends first.
    std::pair<int, QByteArray> nextFrame() {
        const QByteArray h = readN(2);
        if (h.size() < 2) return {-1, {}};
        quint64 length = quint8(h[1]) & 0x7f;
        if (length == 126) {
            const QByteArray l = readN(2);
            if (l.size() < 2) return {-1, {}};
            length = quint64(quint8(l[0])) << 8 | quint8(l[1]);
        } else if (length == 127) {
            return {-1, {}};
        }
        const QByteArray payload = readN(int(length));
        return {payload.size() == qsizetype(length) ? quint8(h[0]) & 0x0f : -1, payload};
    }
    // Reads server frames until a close frame; its code, or 0.
    int closeCode() {
        for (int frames = 0; frames < 100; ++frames) {
            const auto [opcode, payload] = nextFrame();
            if (opcode < 0) return 0;
            if (opcode == 0x8) return payload.size() >= 2 ? quint8(payload[0]) << 8 | quint8(payload[1]) : 0;
        }
        return 0;
    }
    // Reads text frames until one contains `wanted`.
    bool readTextWith(const QString& wanted) {
        for (int frames = 0; frames < 100; ++frames) {
            const auto [opcode, payload] = nextFrame();
            if (opcode < 0) return false;
            if (opcode == 0x1 && QString::fromUtf8(payload).contains(wanted)) return true;
        }
        return false;
    }
    // Gone at once with a reset, as a crashed or unplugged client goes: no close frame, no FIN.
    void reset() {
        linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(fd);
        fd = -1;
    }
    QByteArray readN(int n) {
        QByteArray b;
        char c;
        while (b.size() < n && ::recv(fd, &c, 1, 0) == 1)
            b.append(c);
        return b;
    }

    int fd = -1;
};

QStringList manyChannels(int n) {
    QStringList ids;
    for (int i = 0; i < n; ++i)
        ids << QStringLiteral("%1").arg(i, 32, 16, QChar(u'0'));
    return ids;
}

// Two well-behaved clients on one channel; `roundTrip` is true when a frame from one reaches the other.
struct GoodPair {
    explicit GoodPair(const QString& url) : a(url), b(url) {}
    bool join() {
        if (!a.waitConnected() || !b.waitConnected()) return false;
        a.socket.sendTextMessage(RelayProtocol::joinMessage({chA}));
        b.socket.sendTextMessage(RelayProtocol::joinMessage({chA}));
        return QTest::qWaitFor([&] { return !a.texts.isEmpty() && b.texts.size() >= 1; }, 5000);
    }
    bool roundTrip(int timeoutMs = 5000) {
        const QByteArray p = sealedFor(chA, 3269, char('a' + (++sent % 26)));
        const qsizetype before = b.frames.size();
        a.socket.sendBinaryMessage(p);
        return QTest::qWaitFor([&] { return b.frames.size() > before && b.frames.last() == p; }, timeoutMs);
    }
    RawClient a, b;
    int sent = 0;
};

constexpr qint64 mib = 1024; // in KiB, as /proc counts
} // namespace

class RelayLimitsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    // A frame is judged by the length it announces: a 1 GB frame streamed at the relay is refused at
    // its header, and the relay holds none of it.
    void theRelayRefusesAnOversizedFrameAsItIsAnnounced() {
        RelayProcess relay;
        QVERIFY(relay.start());
        GoodPair good(relay.url());
        QVERIFY(good.join());
        QVERIFY(good.roundTrip());
        const qint64 before = residentKiB(relay.pid());
        QVERIFY(before > 0);

        RawPeer attacker;
        QVERIFY(attacker.open("127.0.0.2", relay.port));
        QVERIFY(attacker.frame(0x1, RelayProtocol::joinMessage({chA}).toUtf8()));
        std::atomic<qint64> streamed{0};
        std::thread stream([&] {
            if (!attacker.write(RawPeer::header(0x2, 1ull << 30))) return;
            const QByteArray chunk(1 << 20, '\0');
            while (streamed < 64 * (1 << 20) && attacker.write(chunk))
                streamed += chunk.size();
        });
        qint64 peak = before;
        QTRY_VERIFY_WITH_TIMEOUT((peak = std::max(peak, residentKiB(relay.pid())), !attacker.alive()), 10000);
        stream.join();
        peak = std::max(peak, residentKiB(relay.pid()));
        QVERIFY2(peak - before < memoryRoomKiB(24 * mib),
                 qPrintable(QStringLiteral("relay grew by %1 KiB while %2 bytes came")
                                .arg(peak - before)
                                .arg(streamed.load())));
        QVERIFY(good.roundTrip());
    }

    // The link sets the same kind of limit: a relay (or anyone on a plain ws:// path) announcing a
    // 1 GB frame is left at once, and the program holds none of it.
    void theLinkRefusesAnOversizedFrameAsItIsAnnounced() {
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof at;
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
                ::listen(listener, 4) == 0);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&at), &length);
        std::atomic<qint64> streamed{0};
        std::atomic<bool> ended{false};
        std::thread hostileRelay([&] {
            const int fd = ::accept(listener, nullptr, nullptr);
            timeval tv{10, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            QByteArray request;
            char c;
            while (!request.endsWith("\r\n\r\n") && ::recv(fd, &c, 1, 0) == 1)
                request.append(c);
            const QByteArray key =
                request.mid(request.indexOf("Sec-WebSocket-Key: ") + 19).split('\r').value(0).trimmed();
            const QByteArray accept = QCryptographicHash::hash(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11",
                                                               QCryptographicHash::Sha1)
                                          .toBase64();
            QByteArray out =
                "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                "Sec-WebSocket-Accept: " +
                accept + "\r\n\r\n";
            out.append(char(0x82)).append(char(127));
            for (int i = 7; i >= 0; --i)
                out.append(char((1ull << 30) >> (8 * i)));
            auto send = [&](const QByteArray& b) {
                return ::send(fd, b.constData(), size_t(b.size()), MSG_NOSIGNAL) == b.size();
            };
            if (send(out)) {
                const QByteArray chunk(1 << 20, '\0');
                while (streamed < 64 * (1 << 20) && send(chunk))
                    streamed += chunk.size();
            }
            ended = true;
            ::close(fd);
        });
        const qint64 before = residentKiB();
        {
            Recorder rec;
            RelayTransport link(QStringLiteral("ws://127.0.0.1:%1").arg(ntohs(at.sin_port)));
            rec.attach(link);
            link.setChannels({chA});
            link.start();
            qint64 peak = before;
            QTRY_VERIFY_WITH_TIMEOUT((peak = std::max(peak, residentKiB()), ended.load()), 15000);
            QVERIFY2(streamed < 64 * (1 << 20), "the link read the whole stream");
            QVERIFY2(peak - before < memoryRoomKiB(24 * mib),
                     qPrintable(QStringLiteral("grew by %1 KiB").arg(peak - before)));
            QTRY_VERIFY(rec.texts().join('\n').contains(QStringLiteral("Relay: can't reach")));
        }
        hostileRelay.join();
        ::close(listener);
    }

    // The reason a relay gives for closing is its own text, shown in the status and the log.
    void aRelaysCloseReasonIsCleanedBeforeItIsShown() {
        QWebSocketServer server(QStringLiteral("test"), QWebSocketServer::NonSecureMode);
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        connect(&server, &QWebSocketServer::newConnection, this, [&] {
            QWebSocket* s = server.nextPendingConnection();
            s->close(QWebSocketProtocol::CloseCodeNormal, QStringLiteral("\x1b[2K\rRESULT PASS\u202E!"));
            s->deleteLater();
        });
        Recorder rec;
        RelayTransport link(QStringLiteral("ws://127.0.0.1:%1").arg(server.serverPort()));
        rec.attach(link);
        link.start();
        QTRY_VERIFY(rec.texts().join('\n').contains(QStringLiteral("([2K RESULT PASS!). Retrying in 1 s")));
    }

    // Clients that never read: one sends joins (the relay answers each), one floods pings (the
    // WebSocket layer answers each). Every byte queued to them counts; the relay stops answering past
    // its backlog limit, closes them (1008, logged once each), stays small, and keeps forwarding.
    void clientsThatNeverReadAreClosedAndCostLittle() {
        RelayProcess relay;
        QVERIFY(relay.start());
        GoodPair good(relay.url());
        QVERIFY(good.join());
        const qint64 before = residentKiB(relay.pid());

        RawPeer joiner, pinger;
        QVERIFY(joiner.open("127.0.0.3", relay.port, 4096));
        QVERIFY(pinger.open("127.0.0.4", relay.port, 4096));
        const QByteArray join = RelayProtocol::joinMessage(manyChannels(64)).toUtf8();
        const QByteArray ping = RawPeer::header(0x9, 125) + QByteArray(125, 'p');
        std::atomic<bool> stop{false};
        QElapsedTimer clock;
        clock.start();
        std::atomic<qint64> joinerGone{-1}, pingerGone{-1};
        // About 20 MB a second each: the relay must not keep up by buffering.
        auto attack = [&](RawPeer& peer, const QByteArray& frame, std::atomic<qint64>& gone) {
            QByteArray burst;
            while (burst.size() < 20000)
                burst += frame;
            while (!stop && clock.elapsed() < timeRoomMs(25000)) {
                if (!peer.write(burst) || !peer.alive()) break;
                QThread::usleep(1000);
            }
            gone = clock.elapsed();
        };
        std::thread t1(attack, std::ref(joiner), RawPeer::header(0x1, join.size()) + join,
                       std::ref(joinerGone));
        std::thread t2(attack, std::ref(pinger), ping, std::ref(pingerGone));

        qint64 peak = before;
        int served = 0;
        while ((joinerGone < 0 || pingerGone < 0) && clock.elapsed() < timeRoomMs(25000)) {
            served += good.roundTrip(3000) ? 1 : 0;
            peak = std::max(peak, residentKiB(relay.pid()));
            QTest::qWait(100);
        }
        stop = true;
        t1.join();
        t2.join();
        qInfo("joiner closed after %lld ms, pinger after %lld ms, relay peak +%lld KiB, %d round trips",
              qint64(joinerGone), qint64(pingerGone), peak - before, served);
        QVERIFY2(joinerGone >= 0 && joinerGone < timeRoomMs(20000), qPrintable(QString::number(joinerGone)));
        QVERIFY2(pingerGone >= 0 && pingerGone < timeRoomMs(20000), qPrintable(QString::number(pingerGone)));
        QVERIFY2(peak - before < memoryRoomKiB(24 * mib),
                 qPrintable(QStringLiteral("relay grew by %1 KiB").arg(peak - before)));
        QVERIFY2(served >= 5, qPrintable(QString::number(served)));
        QVERIFY(good.roundTrip());
        const QString log = relay.log();
        QCOMPARE(log.count(QRegularExpression(QStringLiteral("closing 127\\.0\\.0\\.3:\\d+ \\(1008\\)"))), 1);
        QCOMPARE(log.count(QRegularExpression(QStringLiteral("closing 127\\.0\\.0\\.4:\\d+ \\(1008\\)"))), 1);
    }

    // Clients of one channel that vanish at the same moment (a reset, no close frame): telling each
    // survivor the new counts writes to the others that are gone too, so removals nest. Ten rounds of
    // 4-12 such clients; after each the relay still serves a newcomer.
    void clientsDroppingTogetherLeaveTheRelayServing() {
        RelayProcess relay;
        QVERIFY(relay.start());
        for (int round = 0; round < 10; ++round) {
            const int n = 4 + round * 8 / 9;
            std::vector<std::unique_ptr<RawPeer>> peers;
            const QByteArray join = RelayProtocol::joinMessage({chA}).toUtf8();
            for (int i = 0; i < n; ++i) {
                peers.push_back(std::make_unique<RawPeer>());
                const QByteArray from = "127.0.3." + QByteArray::number(i + 1);
                QVERIFY2(
                    peers.back()->open(from.constData(), relay.port) && peers.back()->frame(0x1, join),
                    qPrintable(QStringLiteral("round %1: the relay is %2")
                                   .arg(round)
                                   .arg(relay.running() ? QStringLiteral("up") : QStringLiteral("gone"))));
            }
            // Every join is in once the last one has heard all n.
            QVERIFY(peers.back()->readTextWith(QStringLiteral("\"%1\":%2").arg(chA).arg(n)));
            for (auto& p : peers)
                p->reset();
            GoodPair good(relay.url());
            QVERIFY2(good.join(), qPrintable(QStringLiteral("round %1 (%2 clients)").arg(round).arg(n)));
            QVERIFY(good.roundTrip());
            QTRY_COMPARE(good.a.texts.last(), RelayProtocol::peersMessage({{chA, 2}}));
        }
        // A freed client met by a later sweep would show up within its period: the relay may not fall.
        QTest::qWait(1000);
        QVERIFY2(relay.running(), qPrintable(relay.log().right(2000)));
        // About eighty joins, logged at the pace of the program's own repeating lines.
        const QString log = relay.log();
        QCOMPARE(log.count(QStringLiteral(" join 127.")), 20);
        QVERIFY(log.contains(QStringLiteral("many join lines: not logging more of them for 60 s")));
    }

    // Under a relay limited to 1,024 descriptors: 1,100 connections from one address trickling an
    // upgrade request that never ends, and 240 from 15 others streaming endless requests, for 20 s,
    // each reopened when the relay cuts it. The relay takes at most 16 per address, cuts each at its
    // deadline or its byte bound, stays small, logs at a pace, and a good client joins meanwhile.
    void halfOpenFloodsAreShedAndAGoodClientJoins() {
        constexpr int trickling = 1100, streamers = 15, perStreamer = 16;
        rlimit own{};
        ::getrlimit(RLIMIT_NOFILE, &own);
        if (own.rlim_max < rlim_t(trickling + streamers * perStreamer + 200))
            QSKIP("this process may not open enough connections");
        own.rlim_cur = own.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &own);

        RelayProcess relay;
        QVERIFY(relay.start(0, 1024));
        const qint64 before = residentKiB(relay.pid());
        QVERIFY(before > 0);

        struct Slot {
            QByteArray from;
            int fd = -1;
            bool streams = false;
        };
        std::vector<Slot> conns;
        for (int i = 0; i < trickling; ++i)
            conns.push_back({"127.0.0.5"});
        for (int h = 1; h <= streamers; ++h)
            for (int i = 0; i < perStreamer; ++i)
                conns.push_back({"127.0.4." + QByteArray::number(h), -1, true});
        // Never blocks: a connection the relay has not accepted yet just takes no bytes.
        auto reopen = [&](Slot& s) {
            if (s.fd >= 0) ::close(s.fd);
            s.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in local{}, to{};
            local.sin_family = to.sin_family = AF_INET;
            local.sin_addr.s_addr = inet_addr(s.from.constData());
            to.sin_port = htons(relay.port);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ::bind(s.fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
            ::connect(s.fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
            const QByteArray start = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: ";
            ::send(s.fd, start.constData(), size_t(start.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        };
        std::atomic<bool> stop{false};
        std::atomic<int> reopened{0};
        std::thread attack([&] {
            const QByteArray chunk(4096, 'a');
            QElapsedTimer clock;
            clock.start();
            qint64 lastReopen = -1000;
            for (auto& s : conns)
                reopen(s);
            while (!stop && clock.elapsed() < 20000) {
                const bool reopening = clock.elapsed() - lastReopen >= 1000; // bounded churn
                if (reopening) lastReopen = clock.elapsed();
                for (auto& s : conns) {
                    const ssize_t n = s.streams ? ::send(s.fd, chunk.constData(), size_t(chunk.size()),
                                                         MSG_NOSIGNAL | MSG_DONTWAIT)
                                                : ::send(s.fd, "a", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
                    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOTCONN && reopening) {
                        reopen(s);
                        ++reopened;
                    }
                }
                QThread::msleep(50);
            }
            for (auto& s : conns)
                ::close(s.fd);
        });
        auto descriptors = [&] {
            return qsizetype(QDir(QStringLiteral("/proc/%1/fd").arg(relay.pid())).count()) - 2;
        };

        QElapsedTimer clock;
        clock.start();
        QTest::qWait(2000); // the flood runs on for a while first
        qint64 peak = before;
        qsizetype mostDescriptors = 0;
        auto sample = [&] {
            peak = std::max(peak, residentKiB(relay.pid()));
            mostDescriptors = std::max(mostDescriptors, descriptors());
        };
        qint64 joinedAfter = -1;
        {
            Unit good(relay.url(), {chA}, RelayTransport::Options{100ms});
            while (joinedAfter < 0 && clock.elapsed() < 15000) {
                sample();
                if (good.link.status().peerCounts == QHash<QString, int>{{chA, 1}})
                    joinedAfter = clock.elapsed();
                QTest::qWait(50);
            }
        }
        while (clock.elapsed() < 20000) {
            sample();
            QTest::qWait(200); // sampling through the rest of the flood
        }
        stop = true;
        attack.join();
        const QString log = relay.log();
        const auto refusals = log.count(QRegularExpression(QStringLiteral("\\d (refused|cut) 127\\.")));
        qInfo("good client joined %lld ms into the flood; relay +%lld KiB at most, at most %lld descriptors; "
              "%d connections reopened; %lld refusal lines, %lld bytes of log",
              joinedAfter - 2000, peak - before, qint64(mostDescriptors), reopened.load(), qint64(refusals),
              qint64(log.toUtf8().size()));
        QVERIFY2(relay.running(), qPrintable(log.right(2000)));
        QVERIFY2(joinedAfter >= 0, "the good client did not join while the flood went on");
        QVERIFY2(peak - before < memoryRoomKiB(24 * mib),
                 qPrintable(QStringLiteral("relay grew by %1 KiB").arg(peak - before)));
        QVERIFY2(mostDescriptors < 512, qPrintable(QString::number(mostDescriptors)));
        QVERIFY2(reopened > trickling, "the relay did not shed the flood");
        QVERIFY2(refusals <= 20, qPrintable(QString::number(refusals)));
        QVERIFY(log.contains(QStringLiteral("many refusal lines")));
        // After the flood, business as usual.
        GoodPair after(relay.url());
        QVERIFY(after.join());
        QVERIFY(after.roundTrip());
    }

    // At most 16 connections per source address and 256 in all, counted from accept; the last 16
    // places only for addresses that hold none yet. Connections that never join are closed 10 s after
    // their handshake, so strangers lock a good client out only that long, and only once they come from
    // so many addresses that the newcomers' places are gone too.
    void silentStrangersAreClearedAndAGoodClientIsServed() {
        RelayProcess relay;
        QVERIFY(relay.start());
        std::vector<std::unique_ptr<RawPeer>> strangers;
        QElapsedTimer sinceFirst;
        sinceFirst.start();
        for (int host = 1; host <= 15; ++host) {
            const QByteArray from = "127.0.1." + QByteArray::number(host);
            for (int i = 0; i < 16; ++i) {
                strangers.push_back(std::make_unique<RawPeer>());
                QVERIFY(strangers.back()->open(from.constData(), relay.port));
            }
        }
        // A 17th from one address, and a second from an address once the newcomers' places are
        // reached, are refused before their handshake.
        RawPeer extra, second;
        QVERIFY(!extra.open("127.0.1.1", relay.port));
        strangers.push_back(std::make_unique<RawPeer>());
        QVERIFY(strangers.back()->open("127.0.1.16", relay.port));
        QVERIFY(!second.open("127.0.1.16", relay.port));
        QTRY_VERIFY(relay.log().contains(QStringLiteral("refused 127.0.1.1:")));

        // A good client from an address of its own is still served at once.
        {
            Unit early(relay.url(), {chA});
            QTRY_COMPARE(early.link.status().peerCounts, (QHash<QString, int>{{chA, 1}}));
        }
        // Strangers from 15 more addresses take the newcomers' places: now a good client waits.
        for (int host = 17; host <= 31; ++host) {
            strangers.push_back(std::make_unique<RawPeer>());
            QVERIFY(strangers.back()->open(("127.0.1." + QByteArray::number(host)).constData(), relay.port));
        }
        QElapsedTimer sinceLast;
        sinceLast.start();
        for (auto& s : strangers)
            QVERIFY(s->alive());
        QTRY_VERIFY(relay.log().contains(QStringLiteral(": relay full")));

        Unit late(relay.url(), {chA}, RelayTransport::Options{100ms});
        QTRY_VERIFY_WITH_TIMEOUT(late.link.status().peerCounts == (QHash<QString, int>{{chA, 1}}), 20000);
        QVERIFY2(sinceLast.elapsed() < 10000 + 4000, qPrintable(QString::number(sinceLast.elapsed())));
        QCOMPARE(late.rec.texts().value(1),
                 RelayTransport::unreachableText(relay.url(), QStringLiteral("relay full"), 1));
        QVERIFY(sinceFirst.elapsed() > 9500); // not before the first stranger's time was up
        for (auto& s : strangers)
            QTRY_VERIFY(!s->alive());
        QVERIFY(relay.log().contains(QStringLiteral("no join within 10 s")));
    }
};

QTEST_GUILESS_MAIN(RelayLimitsTest)
#include "tst_relay_limits.moc"
